#pragma once
// A one-line text box for text that a company file keeps: only characters of the file's code
// page, and no more than a typing limit. Unlike QLineEdit's maximum length, the limit never
// cuts a text the program shows, so a longer name read from a file appears whole; the user may
// shorten it but not lengthen it. Text set from outside the program (an assistive tool) follows
// the rules for typing: what breaks them is refused and the box keeps its text. A refused
// character is named in a tooltip at the box and in the window's status bar.

#include <QLineEdit>

namespace quorvel {

class CAnsiLineEdit final : public QLineEdit
{
    Q_OBJECT

public:
    CAnsiLineEdit(int typingLimit, QWidget *parent);

    // Shows a text of the program's own, whatever its length.
    void SetTextFromProgram(const QString &text);

    // "Ł cannot be stored in a company file".
    static QString RefusalText(const QString &character);

signals:
    // After every change the box keeps, whoever made it.
    void textAccepted(const QString &text);

protected:
    // Undo and Redo are the document's, whose history holds the box's typing: the box keeps
    // no history of its own and leaves their keys to the window.
    bool event(QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    class CValidator;

    bool IsAcceptable(const QString &text) const;
    // Tells the user which character of the text the file cannot hold, if one is there.
    void ReportRefusedCharacter(const QString &text);
    void OnTextChanged(const QString &text);

    int m_typingLimit;
    QString m_programText;
    QString m_keptText;
    bool m_settingFromProgram = false;
    bool m_refusing = false;
};

} // namespace quorvel
