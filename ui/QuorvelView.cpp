#include "ui/QuorvelView.h"

#include "company/QuorvelDoc.h"
#include "ui/AnsiLineEdit.h"
#include "ui/DialogTemplate.h"
#include "ui/FaceActions.h"
#include "ui/FaceFrame.h"
#include "ui/FormTemplate.h"
#include "ui/GrabFaceDialog.h"

#include <QCheckBox>
#include <QLayout>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QScopedValueRollback>
#include <QSlider>

#include <algorithm>

namespace quorvel {

namespace {

// A name-part group: its table, the record's reading of its set and the document's change of
// it. First words, then second.
struct NamePartGroup
{
    const NamePartTable &table;
    bool (CCompanyRecord::*isAllowed)(std::uint32_t) const;
    void (CQuorvelDoc::*setAllowed)(std::uint32_t, bool);
};

const NamePartGroup kNamePartGroups[] = {
    {g_firstWordParts, &CCompanyRecord::IsFirstWordAllowed, &CQuorvelDoc::SetFirstWordAllowed},
    {g_secondWordParts, &CCompanyRecord::IsSecondWordAllowed, &CQuorvelDoc::SetSecondWordAllowed},
};

// The sliders and the ratings they set.
struct RatingSlider
{
    int id;
    int (CCompanyRecord::*get)() const;
    void (CQuorvelDoc::*set)(int, EStepMerge);
};

// In the order the form writes them.
const RatingSlider kRatingSliders[] = {
    {kAggressivenessSlider, &CCompanyRecord::GetAggressiveness, &CQuorvelDoc::SetAggressiveness},
    {kIntelligenceSlider, &CCompanyRecord::GetIntelligence, &CQuorvelDoc::SetIntelligence},
    {kCompetitivenessSlider, &CCompanyRecord::GetCompetitiveness,
     &CQuorvelDoc::SetCompetitiveness},
};

// A face's indices in a face-sized buffer: a picture of another size is never read past its end.
template<class Face>
Face FaceBytes(const CPaletteImage &picture)
{
    Face face{};
    const std::size_t count = std::size_t(picture.Width()) * std::size_t(picture.Height());
    std::copy_n(picture.Indices(), std::min(face.size(), count), face.begin());
    return face;
}

} // namespace

// The page the controls stand on. It paints the faces under their frames and hears the
// mouse that the frames let through, and what is dropped on them.
class CQuorvelView::CFormPage final : public QWidget
{
public:
    explicit CFormPage(CQuorvelView *view) : m_view(view) {}

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        m_view->OnPaint(painter);
    }
    // The page is the last to hear a press; nothing behind it wants one.
    void mousePressEvent(QMouseEvent *event) override
    {
        if (event->button() == Qt::LeftButton)
            m_view->m_faceActions->Press(event->position().toPoint());
        event->accept();
    }
    void mouseMoveEvent(QMouseEvent *event) override
    {
        if (event->buttons() & Qt::LeftButton)
            m_view->m_faceActions->Move(event->position().toPoint());
        event->accept();
    }
    void mouseReleaseEvent(QMouseEvent *event) override
    {
        if (event->button() == Qt::LeftButton)
            m_view->m_faceActions->Release(event->position().toPoint());
        event->accept();
    }
    void dragEnterEvent(QDragEnterEvent *event) override { dragMoveEvent(event); }
    void dragMoveEvent(QDragMoveEvent *event) override
    {
        if (!m_view->m_faceActions->AcceptsDrop(event->position().toPoint(), event->mimeData())) {
            event->ignore();
            return;
        }
        // Shift swaps two expressions of this form; anything else is copied.
        event->setDropAction(event->modifiers() & Qt::ShiftModifier ? Qt::MoveAction
                                                                     : Qt::CopyAction);
        event->accept();
    }
    void dropEvent(QDropEvent *event) override
    {
        const QPoint point = event->position().toPoint();
        if (!m_view->m_faceActions->AcceptsDrop(point, event->mimeData()))
            return;
        const bool swap = event->modifiers() & Qt::ShiftModifier;
        event->setDropAction(swap ? Qt::MoveAction : Qt::CopyAction);
        event->accept();
        m_view->m_faceActions->Drop(point, event->mimeData(), swap);
    }

private:
    CQuorvelView *m_view;
};

CQuorvelView::CQuorvelView(CQuorvelDoc *document, QWidget *parent)
    : QScrollArea(parent)
{
    setObjectName(QStringLiteral("companyView"));
    setFrameShape(QFrame::NoFrame);
    // The controls take the focus, not the area around them: an unnamed stop in the Tab
    // chain would read as nothing. The area still scrolls to whichever control has it.
    setFocusPolicy(Qt::NoFocus);
    setWidgetResizable(false);
    setBackgroundRole(QPalette::Window);

    m_form = new CFormPage(this);
    m_form->setObjectName(QStringLiteral("companyForm"));
    m_form->setAccessibleName(tr("Company"));
    m_form->setAutoFillBackground(true);
    m_form->setAcceptDrops(true);
    m_form->setFixedSize(DialogUnitsToPixels(m_form, QRect(QPoint(), kForm101Size)).size());
    CreateForm101Controls(m_form);
    setWidget(m_form);
    m_faceActions = new CFaceActions(this);

    m_faceSlots.reserve(kFaceSlotRows.size());
    for (int index = 0; index < kExpressionCount; ++index) {
        const FaceSlotRow &row = kFaceSlotRows[std::size_t(index)];
        m_faceSlots.emplace_back(ExpressionName(index), row.m_bit, row.m_smallFrameId,
                                 row.m_largeFrameId);
    }
    InitialiseForm();
    ConnectControls();
    m_runGrabDialog = [this](CFaceSlot &slot, const CGrabStart &start) {
        return RunGrabFaceDialog(slot, window(), start);
    };

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

QWidget *CQuorvelView::Form() const
{
    return m_form;
}

QWidget *CQuorvelView::Control(int id) const
{
    return FindControl(m_form, id);
}

void CQuorvelView::InitialiseForm()
{
    for (CFaceSlot &slot : m_faceSlots)
        slot.Attach(m_form);

    for (const NamePartGroup &group : kNamePartGroups) {
        for (const NamePart &part : group.table) {
            // The game's own words, shown as the game uses them.
            if (auto *box = FindControl<QCheckBox>(m_form, part.m_checkBoxId))
                box->setText(QString::fromLatin1(part.m_word));
        }
    }

    if (auto *owner = FindControl<QWidget>(m_form, kOwnerNameEdit)) {
        QFont font(QStringLiteral("Arial"), 16);
        font.setStyleHint(QFont::SansSerif);
        owner->setFont(font);
    }
}

void CQuorvelView::ConnectControls()
{
    // Each change, by the user or by an assistive tool, reaches the document at once; the
    // form's own setting of its controls does not (see m_settingControls).
    if (auto *owner = FindControl<CAnsiLineEdit>(m_form, kOwnerNameEdit))
        connect(owner, &CAnsiLineEdit::textAccepted, this, [this] {
            if (!m_settingControls)
                OnChangeOwnerName();
        });
    if (auto *word = FindControl<CAnsiLineEdit>(m_form, kSpecificWordEdit))
        connect(word, &CAnsiLineEdit::textAccepted, this, [this] {
            if (!m_settingControls)
                OnChangeSpecificWord();
        });
    for (const RatingSlider &rating : kRatingSliders) {
        if (auto *slider = FindControl<QSlider>(m_form, rating.id)) {
            connect(slider, &QSlider::valueChanged, this, [this, id = rating.id] {
                if (!m_settingControls)
                    OnSliderChange(id);
            });
            // A drag is one step; the next one starts another.
            connect(slider, &QSlider::sliderReleased, this, [this] {
                if (CQuorvelDoc *document = GetDocument())
                    document->CloseLastStep();
            });
        }
    }
    for (const NamePartGroup &group : kNamePartGroups) {
        for (const NamePart &part : group.table) {
            if (auto *box = FindControl<QCheckBox>(m_form, part.m_checkBoxId))
                connect(box, &QCheckBox::toggled, this, [this, box](bool ticked) {
                    if (!m_settingControls)
                        OnNamePartClicked(box, ticked);
                });
        }
    }
    const int selectAll[] = {kSelectAllFirstWords, kSelectAllSecondWords};
    for (std::size_t group = 0; group < std::size(selectAll); ++group) {
        if (auto *button = FindControl<QPushButton>(m_form, selectAll[group]))
            connect(button, &QPushButton::clicked, this, [this, group] { OnSelectAll(group); });
    }
    for (std::size_t index = 0; index < m_faceSlots.size(); ++index) {
        const CFaceSlot &slot = m_faceSlots[index];
        for (QWidget *frame : {slot.SmallFrame(), slot.LargeFrame()}) {
            if (auto *faceFrame = qobject_cast<CFaceFrame *>(frame)) {
                connect(faceFrame, &CFaceFrame::clicked, this,
                        [this, index] { OnFaceClicked(m_faceSlots[index]); });
                m_faceActions->ConnectFrame(faceFrame, index);
            }
        }
    }
}

void CQuorvelView::OnInitialUpdate()
{
    CView::OnInitialUpdate();
    ResizeParentToFit(true);
}

void CQuorvelView::OnUpdate()
{
    RefreshFromCompany();
}

void CQuorvelView::RefreshFromCompany()
{
    CQuorvelDoc *document = GetDocument();
    if (!document)
        return;
    {
        const QScopedValueRollback setting(m_settingControls, true);
        for (CFaceSlot &slot : m_faceSlots) {
            CSmallFace small;
            CLargeFace large;
            if (document->Record().GetFaces(slot.ExpressionBit(), small.data(), large.data())) {
                slot.SetPictures(
                    std::make_unique<CPaletteImage>(small.data(), kSmallFaceSide, kSmallFaceSide),
                    std::make_unique<CPaletteImage>(large.data(), kLargeFaceSide, kLargeFaceSide));
            } else {
                slot.ClearPictures();
            }
        }
        for (const NamePartGroup &group : kNamePartGroups) {
            for (const NamePart &part : group.table)
                SetBox(group.table, part.m_bit, (document->Record().*group.isAllowed)(part.m_bit));
        }
        WriteEditText(kOwnerNameEdit, document->Record().GetOwnerName());
        WriteEditText(kSpecificWordEdit, document->Record().GetSpecificWord());
        for (const RatingSlider &rating : kRatingSliders)
            WriteSliderPos(rating.id, (document->Record().*rating.get)());
    }
    // As though the edits announced their new text: the same text goes back, which leaves the
    // record as it is but retitles the window and renames the "(Specific)" box.
    OnChangeOwnerName();
    OnChangeSpecificWord();
    m_form->update();
}

void CQuorvelView::StoreFormToCompany()
{
    CQuorvelDoc *document = GetDocument();
    if (!document)
        return;
    for (const CFaceSlot &slot : m_faceSlots) {
        if (slot.HasFaces()) {
            const auto small = FaceBytes<CSmallFace>(*slot.SmallFace());
            const auto large = FaceBytes<CLargeFace>(*slot.LargeFace());
            document->SetFaces(slot.ExpressionBit(), small.data(), large.data());
        } else {
            document->SetFaces(slot.ExpressionBit(), nullptr, nullptr);
        }
    }
    for (const NamePartGroup &group : kNamePartGroups) {
        for (const NamePart &part : group.table)
            (document->*group.setAllowed)(part.m_bit, ReadBox(group.table, part.m_bit));
    }
    document->SetOwnerName(ReadEditText(kOwnerNameEdit));
    document->SetSpecificWord(ReadEditText(kSpecificWordEdit));
    for (const RatingSlider &rating : kRatingSliders)
        (document->*rating.set)(ReadSliderPos(rating.id), EStepMerge::Separate);
}

void CQuorvelView::OnPaint(QPainter &painter) const
{
    for (const CFaceSlot &slot : m_faceSlots)
        slot.PaintFaces(painter);
}

void CQuorvelView::OnFaceClicked(CFaceSlot &slot)
{
    OnFaceClicked(slot, CGrabStart{});
}

void CQuorvelView::OnFaceClicked(CFaceSlot &slot, const CGrabStart &start)
{
    if (!GetDocument() || !m_runGrabDialog)
        return;
    if (!m_runGrabDialog(slot, start))
        return;
    // The whole write-back is the one step of the grab, or of "Turn off".
    const QString title = CQuorvelDoc::ExpressionTitle(slot.ExpressionBit());
    const CQuorvelDoc::CStep step(*GetDocument(), slot.HasFaces()
                                                      ? tr("Grab %1 Face").arg(title)
                                                      : tr("Turn Off %1 Face").arg(title));
    StoreFormToCompany();
}

void CQuorvelView::OnChangeOwnerName()
{
    if (CQuorvelDoc *document = GetDocument())
        document->SetOwnerName(ReadEditText(kOwnerNameEdit));
}

void CQuorvelView::OnChangeSpecificWord()
{
    const QString word = ReadEditText(kSpecificWordEdit);
    if (CQuorvelDoc *document = GetDocument())
        document->SetSpecificWord(word);
    const NamePart *specific = FindNamePart(g_firstWordParts, kSpecificWordBit);
    if (auto *box = FindControl<QCheckBox>(m_form, specific->m_checkBoxId)) {
        box->setText(word);
        // The box has no room to show its caption; a screen reader still needs a name.
        box->setAccessibleName(word.isEmpty() ? tr("(Specific)") : QString());
    }
}

void CQuorvelView::OnSliderChange(int sliderId)
{
    CQuorvelDoc *document = GetDocument();
    if (!document)
        return;
    const auto *slider = FindControl<QSlider>(m_form, sliderId);
    // The positions a drag passes through join into one step.
    const EStepMerge merge =
        slider && slider->isSliderDown() ? EStepMerge::SameControl : EStepMerge::Separate;
    for (const RatingSlider &rating : kRatingSliders) {
        if (rating.id == sliderId)
            (document->*rating.set)(ReadSliderPos(sliderId), merge);
    }
}

// A group left without a ticked box takes its boxes back from the company, so the click that
// emptied it is undone. Both groups are looked at whichever was clicked.
void CQuorvelView::OnNamePartClicked(const QCheckBox *box, bool boxTicked)
{
    CQuorvelDoc *document = GetDocument();
    if (!document)
        return;
    const QString word = box->text().isEmpty() ? tr("(Specific)") : box->text();
    const CQuorvelDoc::CStep step(*document, boxTicked ? tr("Tick %1").arg(word)
                                                       : tr("Untick %1").arg(word));
    std::uint32_t ticked[std::size(kNamePartGroups)];
    for (std::size_t i = 0; i < std::size(kNamePartGroups); ++i)
        ticked[i] = TickedBits(kNamePartGroups[i].table);

    const QScopedValueRollback setting(m_settingControls, true);
    for (std::size_t i = 0; i < std::size(kNamePartGroups); ++i) {
        const NamePartGroup &group = kNamePartGroups[i];
        for (const NamePart &part : group.table) {
            if (ticked[i] != 0)
                (document->*group.setAllowed)(part.m_bit, (ticked[i] & part.m_bit) != 0);
            else
                SetBox(group.table, part.m_bit, (document->Record().*group.isAllowed)(part.m_bit));
        }
    }
}

void CQuorvelView::OnSelectAll(std::size_t groupIndex)
{
    CQuorvelDoc *document = GetDocument();
    if (!document)
        return;
    const NamePartGroup &group = kNamePartGroups[groupIndex];
    const CQuorvelDoc::CStep step(*document, groupIndex == 0 ? tr("Select All First Words")
                                                             : tr("Select All Second Words"));
    const QScopedValueRollback setting(m_settingControls, true);
    for (const NamePart &part : group.table) {
        (document->*group.setAllowed)(part.m_bit, true);
        SetBox(group.table, part.m_bit, true);
    }
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
