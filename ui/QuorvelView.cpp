#include "ui/QuorvelView.h"

#include "company/QuorvelDoc.h"

#include <QFontMetrics>
#include <QLayout>

namespace quorvel {

namespace {

// The form's size in dialog units: a quarter of the average character width across, an
// eighth of the line height down.
constexpr int kFormWidthDialogUnits = 408;
constexpr int kFormHeightDialogUnits = 246;

QSize DialogUnitsToPixels(const QWidget *widget, int x, int y)
{
    const QFontMetrics metrics = widget->fontMetrics();
    return {(x * metrics.averageCharWidth() + 2) / 4, (y * metrics.height() + 4) / 8};
}

} // namespace

CQuorvelView::CQuorvelView(CQuorvelDoc *document, QWidget *parent)
    : QScrollArea(parent)
{
    setObjectName(QStringLiteral("companyView"));
    setFrameShape(QFrame::NoFrame);
    setWidgetResizable(false);
    setBackgroundRole(QPalette::Window);

    m_form = new QWidget;
    m_form->setObjectName(QStringLiteral("companyForm"));
    m_form->setAutoFillBackground(true);
    m_form->setFixedSize(DialogUnitsToPixels(m_form, kFormWidthDialogUnits, kFormHeightDialogUnits));
    setWidget(m_form);

    if (document)
        document->AddView(this);
}

CQuorvelView::~CQuorvelView()
{
    if (CDocument *document = CView::GetDocument())
        document->RemoveView(this);
}

CQuorvelDoc *CQuorvelView::GetDocument() const
{
    return static_cast<CQuorvelDoc *>(CView::GetDocument());
}

void CQuorvelView::OnInitialUpdate()
{
    CView::OnInitialUpdate();
    // Filling the owner-name box from the record goes through SetOwnerName, which is what
    // puts the owner name into the caption after New and Open.
    if (CQuorvelDoc *document = GetDocument())
        document->SetOwnerName(document->GetOwnerName());
    ResizeParentToFit(true);
}

void CQuorvelView::OnUpdate()
{
    m_form->update();
}

QSize CQuorvelView::sizeHint() const
{
    const int frame = 2 * frameWidth();
    return m_form->size() + QSize(frame, frame);
}

void CQuorvelView::ResizeParentToFit(bool shrinkOnly)
{
    QWidget *frame = window();
    if (frame == this)
        return;
    if (QLayout *layout = frame->layout()) {
        layout->invalidate();
        layout->activate();
    }
    // Whatever the frame adds around the view (menu bar, status bar, borders) stays; the view
    // itself should be exactly the form plus its own border.
    const QSize around = frame->size() - size();
    QSize wanted = around + sizeHint();
    if (shrinkOnly)
        wanted = wanted.boundedTo(frame->size());
    if (wanted != frame->size())
        frame->resize(wanted);
}

} // namespace quorvel
