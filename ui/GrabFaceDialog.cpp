#include "ui/GrabFaceDialog.h"

#include "ui/DialogTemplate.h"
#include "ui/ZoomBox.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QScrollBar>
#include <QSettings>
#include <QShortcut>
#include <QWheelEvent>

#include <array>

namespace quorvel {

namespace {

using Kind = EControlKind;
using Id = CGrabFaceDialog::ControlId;
using EChange = CGrabPictureView::EChange;

// The template's size with the zoom box's row under the picture area: the smallest the dialog
// can be.
constexpr QSize kDialog131Size(322, 232);
// The faces' sizes, large first.
constexpr std::array<QSize, 2> kFaceSizes = {QSize(64, 64), QSize(24, 24)};
// Where the dialog's size is remembered.
const char kSizeKey[] = "GrabFaceDialog/Size";

// In tab order.
constexpr CTemplateControl kDialog131[] = {
    {Id::kPictureArea, Kind::Custom, 12, 10, 216, 185, nullptr,
     QT_TRANSLATE_NOOP("CGrabFaceDialog", "Picture")},
    {Id::kVerticalOffset, Kind::VerticalScrollBar, 234, 10, 12, 185, nullptr,
     QT_TRANSLATE_NOOP("CGrabFaceDialog", "Vertical offset")},
    {Id::kHorizontalOffset, Kind::HorizontalScrollBar, 12, 200, 216, 10, nullptr,
     QT_TRANSLATE_NOOP("CGrabFaceDialog", "Horizontal offset")},
    {Id::kZoom, Kind::Custom, 12, 214, 64, 13, nullptr,
     QT_TRANSLATE_NOOP("CGrabFaceDialog", "Zoom")},
    {Id::kPreviewCaption, Kind::Label, 273, 10, 42, 15,
     QT_TRANSLATE_NOOP("CGrabFaceDialog", "Preview"), nullptr, 9.75, true},
    {Id::kSmallPreview, Kind::Custom, 251, 7, 17, 16, nullptr,
     QT_TRANSLATE_NOOP("CGrabFaceDialog", "Small preview")},
    {Id::kLargePreview, Kind::Custom, 251, 28, 44, 41, nullptr,
     QT_TRANSLATE_NOOP("CGrabFaceDialog", "Large preview")},
    {Id::kSquare, Kind::CheckBox, 253, 75, 43, 13,
     QT_TRANSLATE_NOOP("CGrabFaceDialog", "Square")},
    {Id::kDontStretch, Kind::CheckBox, 253, 89, 57, 13,
     QT_TRANSLATE_NOOP("CGrabFaceDialog", "Don't stretch")},
    {Id::kOpenImage, Kind::PushButton, 252, 110, 60, 15,
     QT_TRANSLATE_NOOP("CGrabFaceDialog", "Open image..")},
    {Id::kFindFace, Kind::PushButton, 252, 130, 60, 15,
     QT_TRANSLATE_NOOP("CGrabFaceDialog", "Find face")},
    {Id::kGrab, Kind::PushButton, 252, 155, 60, 15, QT_TRANSLATE_NOOP("CGrabFaceDialog", "Grab"),
     nullptr, 8.25, true},
    {Id::kTurnOff, Kind::PushButton, 252, 175, 60, 15,
     QT_TRANSLATE_NOOP("CGrabFaceDialog", "Turn off"), nullptr, 8.25, false},
    {Id::kCancel, Kind::PushButton, 252, 195, 60, 14,
     QT_TRANSLATE_NOOP("CGrabFaceDialog", "Cancel")},
};

// Beside the zoom box: what the picture is or what could not be read, then the box and the
// scale.
constexpr QRect kStatusLine(80, 212, 166, 18);

// The first grab dialog of a run sets its view up once more when it is first shown.
bool g_firstGrabDialogShown = false;

// The load status and the faces note in width pixels. The faces note stays whole. A long
// picture name is shortened first, in its middle so its extension shows, while a few letters
// of it can stay; otherwise the load status is cut in its middle.
QString ElidedStatus(const QString &status, const QString &name, const QString &facesNote,
                     const QFontMetrics &metrics, int width)
{
    const auto joined = [&facesNote](const QString &text) {
        return facesNote.isEmpty() ? text : text + QLatin1Char(' ') + facesNote;
    };
    if (metrics.horizontalAdvance(joined(status)) <= width)
        return joined(status);
    if (const qsizetype at = name.isEmpty() ? -1 : status.indexOf(name); at >= 0) {
        QString without = status;
        without.remove(at, name.size());
        const int room = width - metrics.horizontalAdvance(joined(without));
        if (room >= 6 * metrics.averageCharWidth()) {
            QString shorter = status;
            return joined(shorter.replace(at, name.size(),
                                          metrics.elidedText(name, Qt::ElideMiddle, room)));
        }
    }
    const int note = facesNote.isEmpty() ? 0 : metrics.horizontalAdvance(QLatin1Char(' ') + facesNote);
    return joined(metrics.elidedText(status, Qt::ElideMiddle, std::max(width - note, 0)));
}

} // namespace

CGrabFaceDialog::CGrabFaceDialog(const CFaceSlot &slot, QWidget *parent)
    : QDialog(parent)
    , m_picture(slot.HasFaces() ? std::make_unique<CRgbImage>(*slot.LargeFace())
                                : std::make_unique<CRgbImage>(64, 64))
    , m_slot(slot, Id::kSmallPreview, Id::kLargePreview)
{
    setObjectName(QStringLiteral("grabFaceDialog"));
    setWindowTitle(tr("Grabbing %1 image.").arg(QString::fromLatin1(slot.ExpressionName())));
    m_smallest = DialogUnitsToPixels(this, QRect(QPoint(), kDialog131Size)).size();
    resize(m_smallest);
    setMinimumSize(m_smallest);
    setAcceptDrops(true);
    CreateControls();
    setSizeGripEnabled(true); // after the controls: the dialog places the grip itself
    CreateShortcuts();

    m_slot.Attach(this);
    for (auto &[control, place] : m_places) {
        if (control == m_slot.SmallFrame() || control == m_slot.LargeFrame())
            place = control->geometry(); // as the slot sized them
    }
    m_dontStretch->setChecked(true);
    m_square->setChecked(true);
    m_square->setEnabled(false);
    m_view->SetModes(true, true);
    if (slot.ExpressionBit() == 1)
        FindControl(this, Id::kTurnOff)->setEnabled(false);
    m_status = slot.HasFaces() ? tr("Current face.") : tr("No face yet.");

    // The size the user last gave the dialog, never below the template's.
    const QSize remembered = QSettings().value(QLatin1String(kSizeKey)).toSize();
    if (remembered.isValid())
        resize(remembered.expandedTo(m_smallest));
    LayOutControls();
    ResetView();
}

CGrabFaceDialog::~CGrabFaceDialog() = default;

void CGrabFaceDialog::CreateControls()
{
    CreateTemplateControls(this, kDialog131, "CGrabFaceDialog",
                           [this](const CTemplateControl &row, QWidget *owner) -> QWidget * {
        if (row.id == Id::kPictureArea)
            return m_view = new CGrabPictureView(owner);
        if (row.id == Id::kZoom)
            return m_zoom = new CZoomBox(owner);
        if (row.kind == Kind::Custom) {
            // A preview frame: the dialog paints the preview beneath it.
            auto *frame = new QLabel(owner);
            frame->setAttribute(Qt::WA_TransparentForMouseEvents);
            return frame;
        }
        return nullptr;
    });
    m_horizontalBar = FindControl<QScrollBar>(this, Id::kHorizontalOffset);
    m_verticalBar = FindControl<QScrollBar>(this, Id::kVerticalOffset);
    m_square = FindControl<QCheckBox>(this, Id::kSquare);
    m_dontStretch = FindControl<QCheckBox>(this, Id::kDontStretch);

    m_statusLine = new QLabel(this);
    m_statusLine->setObjectName(QStringLiteral("pictureStatus"));
    m_statusLine->setTextFormat(Qt::PlainText);
    m_statusLine->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    m_statusLine->setGeometry(DialogUnitsToPixels(this, kStatusLine));

    for (QWidget *control : findChildren<QWidget *>(Qt::FindDirectChildrenOnly))
        m_places.emplace_back(control, control->geometry());
    // The picture area's border lies around the view, so both measure from one origin.
    m_view->setGeometry(m_view->geometry().adjusted(1, 1, -1, -1));

    m_zoom->addItem(QString());
    for (const CViewScale &step : ZoomSteps())
        m_zoom->addItem(tr("%1%").arg(ScalePercent(step)));
    connect(m_zoom, &QComboBox::activated, this, [this](int index) {
        if (index == 0)
            m_view->ZoomToFit();
        else
            m_view->ZoomTo(ZoomSteps()[std::size_t(index - 1)]);
    });

    for (QScrollBar *bar : {m_horizontalBar, m_verticalBar}) {
        bar->setSingleStep(1);
        bar->setRange(0, 0);
        bar->installEventFilter(this);
        connect(bar, &QScrollBar::valueChanged, this, [this] {
            m_view->SetScroll(QPoint(m_horizontalBar->value(), m_verticalBar->value()));
        });
    }
    connect(m_view, &CGrabPictureView::changed, this, &CGrabFaceDialog::OnViewChanged);
    connect(m_square, &QCheckBox::clicked, this, &CGrabFaceDialog::OnModeClicked);
    connect(m_dontStretch, &QCheckBox::clicked, this, &CGrabFaceDialog::OnModeClicked);
    connect(FindControl<QPushButton>(this, Id::kOpenImage), &QPushButton::clicked, this,
            &CGrabFaceDialog::OnOpenImage);
    CreateFindFaceButton();
    // As in any dialog, Enter presses the focused button, and "Grab" when none has the focus.
    for (QPushButton *button : findChildren<QPushButton *>())
        button->setAutoDefault(true);
    auto *grab = FindControl<QPushButton>(this, Id::kGrab);
    grab->setDefault(true);
    connect(grab, &QPushButton::clicked, this, &CGrabFaceDialog::OnGrab);
    connect(FindControl<QPushButton>(this, Id::kTurnOff), &QPushButton::clicked, this,
            &CGrabFaceDialog::OnTurnOff);
    connect(FindControl<QPushButton>(this, Id::kCancel), &QPushButton::clicked, this,
            &QDialog::reject);
}

void CGrabFaceDialog::CreateShortcuts()
{
    const auto shortcut = [this](const QKeySequence &keys, auto slot) {
        connect(new QShortcut(keys, this), &QShortcut::activated, this, slot);
    };
    shortcut(QKeySequence::Paste, &CGrabFaceDialog::OnPaste);
    shortcut(QKeySequence::ZoomIn, [this] { m_view->ZoomIn(); });
    shortcut(QKeySequence(Qt::CTRL | Qt::Key_Equal), [this] { m_view->ZoomIn(); });
    shortcut(QKeySequence::ZoomOut, [this] { m_view->ZoomOut(); });
    shortcut(QKeySequence(Qt::CTRL | Qt::Key_0), [this] { m_view->ZoomToFit(); });
    shortcut(QKeySequence(Qt::CTRL | Qt::Key_1), [this] { m_view->ZoomToActualSize(); });
}

void CGrabFaceDialog::LayOutControls()
{
    const QSize growth = (size() - m_smallest).expandedTo(QSize(0, 0));
    const int across = growth.width(), down = growth.height();
    for (const auto &[control, place] : m_places) {
        QRect to = place;
        if (control == m_view) {
            to.adjust(1, 1, across - 1, down - 1);
        } else if (control == m_verticalBar) {
            to.adjust(across, 0, across, down);
        } else if (control == m_horizontalBar || control == m_statusLine) {
            to.adjust(0, down, across, down);
        } else if (control == m_zoom) {
            to.translate(0, down);
        } else {
            to.translate(across, 0); // the column at the right
        }
        control->setGeometry(to);
    }
    update();
}

void CGrabFaceDialog::resizeEvent(QResizeEvent *event)
{
    QDialog::resizeEvent(event);
    if (m_view)
        LayOutControls();
}

void CGrabFaceDialog::done(int result)
{
    QSettings().setValue(QLatin1String(kSizeKey), size());
    QDialog::done(result);
}

void CGrabFaceDialog::ResetView()
{
    m_previewSelection.reset();
    m_previews.clear();
    m_view->SetPicture(m_picture.get());
    MakeFaces(true);
}

void CGrabFaceDialog::MakeFaces(bool wholePicture)
{
    m_slot.ClearPictures();
    std::optional<CGrabRect> cut = m_view->Box();
    const bool whole = !cut && wholePicture;
    if (whole)
        cut = CGrabRect{0, 0, m_picture->Width(), m_picture->Height()};
    if (cut) {
        auto faces = m_picture->CropToPaletteImages(cut->left, cut->top, cut->right, cut->bottom,
                                                    kFaceSizes);
        m_slot.SetPictures(std::move(faces[1]), std::move(faces[0]));
    }
    DescribeResult(cut, whole);
}

void CGrabFaceDialog::OnViewChanged(CGrabPictureView::EChanges what)
{
    if (what.testFlag(EChange::View))
        SyncViewControls();
    if (what.testFlag(EChange::BoxDone))
        MakeFaces(false);
    if (what.testFlag(EChange::Box))
        m_slot.InvalidateFrames(false); // the previews follow the box
    ShowNumbers();
}

void CGrabFaceDialog::SyncViewControls()
{
    const QSignalBlocker quietHorizontal(m_horizontalBar);
    const QSignalBlocker quietVertical(m_verticalBar);
    const QPoint scroll = m_view->Scroll();
    const QPoint most = m_view->MaxScroll();
    m_horizontalBar->setRange(0, most.x());
    m_verticalBar->setRange(0, most.y());
    // A page is what the area shows, so clicks beside the thumb move by a screenful.
    m_horizontalBar->setPageStep(m_view->width());
    m_verticalBar->setPageStep(m_view->height());
    m_horizontalBar->setValue(scroll.x());
    m_verticalBar->setValue(scroll.y());

    const CViewScale scale = m_view->Scale();
    m_zoom->setItemText(0, m_view->IsFit() ? tr("Fit (%1%)").arg(ScalePercent(scale)) : tr("Fit"));
    int index = 0;
    if (!m_view->IsFit()) {
        const auto steps = ZoomSteps();
        const auto step = std::find(steps.begin(), steps.end(), scale);
        index = step == steps.end() ? -1 : int(step - steps.begin()) + 1;
    }
    m_zoom->setCurrentIndex(index);
}

QString CGrabFaceDialog::StatusLine() const
{
    return m_statusLine->text();
}

// The second line of the status line: the box and the scale.
void CGrabFaceDialog::ShowNumbers()
{
    const CViewScale scale = m_view->Scale();
    const QString zoom = m_view->IsFit() ? tr("Fit (%1%)").arg(ScalePercent(scale))
                                         : tr("%1%").arg(ScalePercent(scale));
    QString numbers;
    if (const std::optional<CGrabRect> &box = m_view->Box())
        numbers = tr("%1, %2 – %3, %4 (%5 × %6) at %7")
                      .arg(box->left)
                      .arg(box->top)
                      .arg(box->right)
                      .arg(box->bottom)
                      .arg(box->right - box->left)
                      .arg(box->bottom - box->top)
                      .arg(zoom);
    else if (m_wholePicture)
        numbers = tr("The whole picture, at %1").arg(zoom);
    else
        numbers = tr("No box, at %1").arg(zoom);
    const QFontMetrics metrics(m_statusLine->font());
    const QString full = FullStatus();
    const QString status =
        ElidedStatus(m_status, m_statusName, m_facesNote, metrics, m_statusLine->width());
    m_statusLine->setText(status + QLatin1Char('\n') + numbers);
    m_statusLine->setToolTip(full + QLatin1Char('\n') + numbers);
    m_statusLine->setAccessibleName(full + QLatin1Char(' ') + numbers);
}

QString CGrabFaceDialog::FullStatus() const
{
    return m_facesNote.isEmpty() ? m_status : m_status + QLatin1Char(' ') + m_facesNote;
}

void CGrabFaceDialog::ShowStatus(const QString &status)
{
    m_status = status;
    m_view->setToolTip(FullStatus());
    m_view->setAccessibleDescription(FullStatus() + QLatin1Char(' ') + m_result);
    ShowNumbers();
}

// The picture area's description says what the faces were made from, for a screen reader
// and for anyone who wants the numbers.
void CGrabFaceDialog::DescribeResult(const std::optional<CGrabRect> &cut, bool wholePicture)
{
    m_wholePicture = wholePicture && m_slot.HasFaces();
    if (!m_slot.HasFaces() || !cut)
        m_result = tr("No faces.");
    else if (wholePicture)
        m_result = tr("Faces made from the whole picture.");
    else
        m_result = tr("Faces cut from %1, %2 to %3, %4.")
                       .arg(cut->left)
                       .arg(cut->top)
                       .arg(cut->right)
                       .arg(cut->bottom);
    ShowStatus(m_status);
}

void CGrabFaceDialog::OnModeClicked()
{
    // A new mode empties the result, as before a new box is drawn.
    m_square->setEnabled(!m_dontStretch->isChecked());
    m_view->SetModes(m_square->isChecked(), m_dontStretch->isChecked());
    m_view->SetBox(std::nullopt);
}

void CGrabFaceDialog::OnGrab()
{
    m_view->FinishChange();
    accept();
}

void CGrabFaceDialog::OnTurnOff()
{
    m_slot.ClearPictures();
    accept();
}

bool CGrabFaceDialog::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::Wheel && (watched == m_horizontalBar || watched == m_verticalBar)) {
        const auto *wheel = static_cast<QWheelEvent *>(event);
        m_view->Wheel(wheel, watched == m_horizontalBar, m_view->rect().center());
        return true;
    }
    if (watched == m_view && event->type() == QEvent::Paint)
        OnPictureAreaPainting();
    return QDialog::eventFilter(watched, event);
}

void CGrabFaceDialog::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (!g_firstGrabDialogShown) {
        g_firstGrabDialogShown = true;
        ResetView();
    }
}

void CGrabFaceDialog::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    DrawBorder(painter, m_view->geometry().adjusted(-1, -1, 1, 1), CFaceSlot::FrameColour());
    const std::optional<CGrabRect> &box = m_view->Box();
    if (m_view->IsChanging() && box) {
        PaintPreviews(painter, *box);
    } else if (m_slot.HasFaces()) {
        m_slot.PaintFaces(painter);
    } else if (m_view->IsChanging() || box) {
        // A box the faces cannot be made from: the frames alone.
        for (const QWidget *frame : {m_slot.SmallFrame(), m_slot.LargeFrame()})
            DrawBorder(painter, frame->geometry(), CFaceSlot::FrameColour());
    } else {
        m_slot.PaintFaces(painter); // the empty marking
    }
}

void CGrabFaceDialog::PaintPreviews(QPainter &painter, const CGrabRect &selection)
{
    // Stretched from the true-colour picture: the very pixels the faces will be made from.
    if (m_previewSelection != selection) {
        m_previews = m_picture->ScaledCopies(selection.left, selection.top,
                                             selection.right - selection.left,
                                             selection.bottom - selection.top, kFaceSizes);
        m_previewSelection = selection;
    }
    const QWidget *frames[] = {m_slot.LargeFrame(), m_slot.SmallFrame()};
    for (std::size_t i = 0; i < kFaceSizes.size(); ++i) {
        const QRect rect = frames[i]->geometry();
        DrawBorder(painter, rect, CFaceSlot::FrameColour());
        if (m_previews[i])
            DrawFacePicture(painter, m_previews[i]->AsQImage(), rect.adjusted(1, 1, -1, -1));
    }
}

bool RunGrabFaceDialog(CFaceSlot &slot, QWidget *parent, const CGrabStart &start)
{
    CGrabFaceDialog dialog(slot, parent);
    if (!start.picturePath.isEmpty())
        dialog.LoadPictureFile(start.picturePath);
    else if (start.fromClipboard)
        dialog.OnPaste();
    if (dialog.exec() != QDialog::Accepted)
        return false;
    slot.SetPictures(dialog.Result().SmallFace(), dialog.Result().LargeFace());
    return true;
}

} // namespace quorvel
