#pragma once
// The company form view: the main window's central widget, showing the open company on one
// fixed-size form that scrolls when the window is smaller than it.

#include "platform/Document.h"

#include <QScrollArea>

namespace quorvel {

class CQuorvelDoc;

class CQuorvelView : public QScrollArea, public CView
{
    Q_OBJECT

public:
    // Attaches itself to the document, which it does not own.
    explicit CQuorvelView(CQuorvelDoc *document, QWidget *parent = nullptr);
    ~CQuorvelView() override;

    CQuorvelDoc *GetDocument() const;
    // The form page that holds the controls.
    QWidget *Form() const { return m_form; }

    // On every new or opened company: refresh, then fit the main window to the form.
    void OnInitialUpdate() override;
    // After the document changed: the form shows the record again.
    void OnUpdate() override;

    // Lays the top-level window out again and resizes it so this view shows the whole form
    // without scroll bars; with shrinkOnly it never grows in either direction.
    void ResizeParentToFit(bool shrinkOnly = true);

    QSize sizeHint() const override;

private:
    QWidget *m_form = nullptr;
};

} // namespace quorvel
