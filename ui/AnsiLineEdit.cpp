#include "ui/AnsiLineEdit.h"

#include "platform/AnsiText.h"

#include <QScopedValueRollback>
#include <QValidator>

#include <algorithm>

namespace quorvel {

// Refuses typing, pasting and dropping that would break the rules, before the text changes.
class CAnsiLineEdit::CValidator final : public QValidator
{
public:
    explicit CValidator(CAnsiLineEdit *edit) : QValidator(edit), m_edit(edit) {}

    State validate(QString &input, int &) const override
    {
        if (m_edit->m_settingFromProgram || m_edit->m_refusing)
            return Acceptable;
        return m_edit->IsAcceptable(input) ? Acceptable : Invalid;
    }

private:
    CAnsiLineEdit *m_edit;
};

CAnsiLineEdit::CAnsiLineEdit(int typingLimit, QWidget *parent)
    : QLineEdit(parent)
    , m_typingLimit(typingLimit)
{
    setValidator(new CValidator(this));
    connect(this, &QLineEdit::textChanged, this, &CAnsiLineEdit::OnTextChanged);
}

void CAnsiLineEdit::SetTextFromProgram(const QString &text)
{
    const QScopedValueRollback setting(m_settingFromProgram, true);
    m_programText = text;
    setText(text);
    // A text that did not change announces nothing, but it is the program's all the same.
    m_keptText = text;
}

bool CAnsiLineEdit::IsAcceptable(const QString &text) const
{
    if (!std::all_of(text.cbegin(), text.cend(), IsAnsiRepresentable))
        return false;
    // Shorter than before is always fine, and so is the way back to the program's text.
    return text.size() <= m_typingLimit || text.size() <= m_keptText.size()
        || text == m_programText;
}

void CAnsiLineEdit::OnTextChanged(const QString &text)
{
    if (m_refusing)
        return;
    // Typing never gets here with a refused text; setText from outside does, and is undone.
    if (!m_settingFromProgram && !IsAcceptable(text)) {
        const QScopedValueRollback refusing(m_refusing, true);
        setText(m_keptText);
        return;
    }
    m_keptText = text;
    emit textAccepted(text);
}

} // namespace quorvel
