#include "ui/AnsiLineEdit.h"

#include "platform/AnsiText.h"

#include <QCoreApplication>
#include <QKeyEvent>
#include <QScopedValueRollback>
#include <QStatusTipEvent>
#include <QToolTip>
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
        if (m_edit->IsAcceptable(input))
            return Acceptable;
        m_edit->ReportRefusedCharacter(input);
        return Invalid;
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

namespace {

bool IsHistoryKey(const QKeyEvent *key)
{
    return key->matches(QKeySequence::Undo) || key->matches(QKeySequence::Redo);
}

} // namespace

bool CAnsiLineEdit::event(QEvent *event)
{
    if (event->type() == QEvent::ShortcutOverride && IsHistoryKey(static_cast<QKeyEvent *>(event))) {
        event->ignore();
        return true;
    }
    return QLineEdit::event(event);
}

void CAnsiLineEdit::keyPressEvent(QKeyEvent *event)
{
    if (IsHistoryKey(event)) {
        event->ignore();
        return;
    }
    QLineEdit::keyPressEvent(event);
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

QString CAnsiLineEdit::RefusalText(const QString &character)
{
    return tr("%1 cannot be stored in a company file").arg(character);
}

void CAnsiLineEdit::ReportRefusedCharacter(const QString &text)
{
    // Whole code points, so an emoji is named as itself rather than as half of one.
    for (qsizetype i = 0; i < text.size(); ++i) {
        const qsizetype length = text.at(i).isHighSurrogate() && i + 1 < text.size() ? 2 : 1;
        if (length == 1 && IsAnsiRepresentable(text.at(i)))
            continue;
        const QString message = RefusalText(text.mid(i, length));
        QToolTip::showText(mapToGlobal(cursorRect().bottomLeft()), message, this);
        // The status bar of whatever window holds the box hears it as a status tip.
        QStatusTipEvent tip(message);
        QCoreApplication::sendEvent(this, &tip);
        return;
    }
}

void CAnsiLineEdit::OnTextChanged(const QString &text)
{
    if (m_refusing)
        return;
    // Typing never gets here with a refused text; setText from outside does, and is undone.
    if (!m_settingFromProgram && !IsAcceptable(text)) {
        ReportRefusedCharacter(text);
        const QScopedValueRollback refusing(m_refusing, true);
        setText(m_keptText);
        return;
    }
    m_keptText = text;
    emit textAccepted(text);
}

} // namespace quorvel
