#include "ui/GrabFaceDialog.h"

#include "image/Loaders.h"
#include "platform/Logging.h"
#include "platform/Prompts.h"
#include "ui/DialogTemplate.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QDir>
#include <QDragEnterEvent>
#include <QFileInfo>
#include <QLabel>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QScrollBar>
#include <QShortcut>

#include <array>

namespace quorvel {

namespace {

using Kind = EControlKind;
using Id = CGrabFaceDialog::ControlId;

constexpr QSize kDialog131Size(322, 215);
constexpr int kScrollInterval = 20; // milliseconds
// One notch of the mouse wheel moves the picture by this many pixels a wheel line.
constexpr int kWheelLinePixels = 16;
// The faces' sizes, large first.
constexpr std::array<QSize, 2> kFaceSizes = {QSize(64, 64), QSize(24, 24)};

// In tab order.
constexpr CTemplateControl kDialog131[] = {
    {Id::kPictureArea, Kind::Custom, 12, 10, 216, 185, nullptr,
     QT_TRANSLATE_NOOP("CGrabFaceDialog", "Picture")},
    {Id::kVerticalOffset, Kind::VerticalScrollBar, 234, 10, 12, 185, nullptr,
     QT_TRANSLATE_NOOP("CGrabFaceDialog", "Vertical offset")},
    {Id::kHorizontalOffset, Kind::HorizontalScrollBar, 12, 200, 216, 10, nullptr,
     QT_TRANSLATE_NOOP("CGrabFaceDialog", "Horizontal offset")},
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
    {Id::kOpenImage, Kind::PushButton, 252, 130, 60, 15,
     QT_TRANSLATE_NOOP("CGrabFaceDialog", "Open image..")},
    {Id::kGrab, Kind::PushButton, 252, 155, 60, 15, QT_TRANSLATE_NOOP("CGrabFaceDialog", "Grab"),
     nullptr, 8.25, true},
    {Id::kTurnOff, Kind::PushButton, 252, 175, 60, 15,
     QT_TRANSLATE_NOOP("CGrabFaceDialog", "Turn off"), nullptr, 8.25, false},
    {Id::kCancel, Kind::PushButton, 252, 195, 60, 14,
     QT_TRANSLATE_NOOP("CGrabFaceDialog", "Cancel")},
};

// Between "Don't stretch" and "Open image..": what the picture is, or why it is black.
constexpr QRect kStatusLine(252, 104, 62, 24);

// The first grab dialog of a run sets its view up once more when it is first shown.
bool g_firstGrabDialogShown = false;

// The local file a drop or the clipboard names, if any.
QString LocalPictureFile(const QMimeData *mime)
{
    if (!mime)
        return {};
    for (const QUrl &url : mime->urls()) {
        if (url.isLocalFile())
            return url.toLocalFile();
    }
    if (mime->hasText()) {
        const QString text = mime->text().trimmed();
        const QUrl url(text);
        const QString path = url.isLocalFile() ? url.toLocalFile() : text;
        if (!path.contains(QLatin1Char('\n')) && QFileInfo(path).isFile())
            return path;
    }
    return {};
}

// A dotted rectangle over the pixels from (left, top) to (right - 1, bottom - 1), drawn by
// inverting, so it shows on any picture; each edge pixel is inverted once.
void DrawFocusRect(QPainter &painter, const CGrabRect &rect)
{
    if (rect.right <= rect.left || rect.bottom <= rect.top)
        return;
    painter.save();
    painter.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
    QPen pen(Qt::white, 1);
    pen.setCosmetic(true);
    pen.setDashPattern({1, 1});
    painter.setPen(pen);
    const int right = rect.right - 1;
    const int bottom = rect.bottom - 1;
    painter.drawLine(rect.left, rect.top, right, rect.top);
    if (bottom > rect.top)
        painter.drawLine(rect.left, bottom, right, bottom);
    if (bottom - rect.top >= 2) {
        painter.drawLine(rect.left, rect.top + 1, rect.left, bottom - 1);
        if (right > rect.left)
            painter.drawLine(right, rect.top + 1, right, bottom - 1);
    }
    painter.restore();
}

} // namespace

// The picture area: shows the picture and hears the mouse, which it hands to the dialog in the
// dialog's coordinates. A drag keeps the mouse until its release, wherever the pointer goes.
class CGrabFaceDialog::CPictureArea final : public QWidget
{
public:
    explicit CPictureArea(CGrabFaceDialog *dialog) : QWidget(dialog), m_dialog(dialog)
    {
        setCursor(Qt::CrossCursor);
    }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        m_dialog->PaintPictureArea(painter);
    }
    void mousePressEvent(QMouseEvent *event) override
    {
        if (event->button() == Qt::LeftButton)
            m_dialog->OnLButtonDown(ToDialog(event));
        event->accept();
    }
    void mouseMoveEvent(QMouseEvent *event) override
    {
        m_dialog->OnMouseMove(ToDialog(event));
        event->accept();
    }
    void mouseReleaseEvent(QMouseEvent *event) override
    {
        if (event->button() == Qt::LeftButton)
            m_dialog->OnLButtonUp(ToDialog(event));
        event->accept();
    }

private:
    QPoint ToDialog(const QMouseEvent *event) const
    {
        return mapTo(m_dialog, event->position().toPoint());
    }

    CGrabFaceDialog *m_dialog;
};

CGrabFaceDialog::CGrabFaceDialog(const CFaceSlot &slot, QWidget *parent)
    : QDialog(parent)
    , m_picture(slot.HasFaces() ? std::make_unique<CRgbImage>(*slot.LargeFace())
                                : std::make_unique<CRgbImage>(64, 64))
    , m_slot(slot, Id::kSmallPreview, Id::kLargePreview)
{
    setObjectName(QStringLiteral("grabFaceDialog"));
    setWindowTitle(tr("Grabbing %1 image.").arg(QString::fromLatin1(slot.ExpressionName())));
    setFixedSize(DialogUnitsToPixels(this, QRect(QPoint(), kDialog131Size)).size());
    setAcceptDrops(true);
    CreateControls();

    m_slot.Attach(this);
    m_dontStretch->setChecked(true);
    m_square->setChecked(true);
    m_square->setEnabled(false);
    if (slot.ExpressionBit() == 1)
        FindControl(this, Id::kTurnOff)->setEnabled(false);
    ShowStatus(slot.HasFaces() ? tr("Current face") : tr("No face yet"), true);
    ResetView();

    m_scrollTimer.setInterval(kScrollInterval);
    connect(&m_scrollTimer, &QTimer::timeout, this, &CGrabFaceDialog::RunScrollTick);
    m_scrollTimer.start();
}

CGrabFaceDialog::~CGrabFaceDialog() = default;

void CGrabFaceDialog::CreateControls()
{
    CreateTemplateControls(this, kDialog131, "CGrabFaceDialog",
                           [this](const CTemplateControl &row, QWidget *owner) -> QWidget * {
        if (row.id == Id::kPictureArea)
            return m_area = new CPictureArea(this);
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
    m_statusLine->setWordWrap(true);
    m_statusLine->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    m_statusLine->setGeometry(DialogUnitsToPixels(this, kStatusLine));

    for (QScrollBar *bar : {m_horizontalBar, m_verticalBar}) {
        bar->setSingleStep(1);
        bar->setRange(0, 0);
        bar->installEventFilter(this);
    }
    m_area->installEventFilter(this);
    connect(m_horizontalBar, &QScrollBar::valueChanged, this, [this](int x) {
        m_scroll.setX(x);
        Redraw();
    });
    connect(m_verticalBar, &QScrollBar::valueChanged, this, [this](int y) {
        m_scroll.setY(y);
        Redraw();
    });
    connect(m_square, &QCheckBox::clicked, this, &CGrabFaceDialog::OnSquareClicked);
    connect(m_dontStretch, &QCheckBox::clicked, this, &CGrabFaceDialog::OnDontStretchClicked);
    connect(FindControl<QPushButton>(this, Id::kOpenImage), &QPushButton::clicked, this,
            &CGrabFaceDialog::OnOpenImage);
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
    auto *paste = new QShortcut(QKeySequence::Paste, this);
    connect(paste, &QShortcut::activated, this, &CGrabFaceDialog::OnPaste);
}

QWidget *CGrabFaceDialog::PictureArea() const
{
    return m_area;
}

std::optional<CGrabRect> CGrabFaceDialog::Selection(QPoint offset) const
{
    const CGrabSelection selection{m_anchor, m_current, m_dragging, m_slot.HasFaces(),
                                   m_square->isChecked(), m_dontStretch->isChecked()};
    return ComputeSelection(selection, QSize(m_picture->Width(), m_picture->Height()), offset);
}

void CGrabFaceDialog::ResetView()
{
    {
        const QSignalBlocker quietHorizontal(m_horizontalBar);
        const QSignalBlocker quietVertical(m_verticalBar);
        m_horizontalBar->setValue(0);
        m_verticalBar->setValue(0);
        const QSize client = m_area->size();
        m_maxScroll = QPoint(std::max(0, m_picture->Width() - client.width()),
                             std::max(0, m_picture->Height() - client.height()));
        m_anchor = QPoint(0, 0);
        m_current = QPoint(client.width() - 1, client.height() - 1);
        m_dragging = false;
        m_horizontalBar->setRange(0, m_maxScroll.x());
        m_verticalBar->setRange(0, m_maxScroll.y());
        // A page is what the area shows, so clicks beside the thumb move by a screenful.
        m_horizontalBar->setPageStep(client.width());
        m_verticalBar->setPageStep(client.height());
    }
    update();
    MakeFaces(true);
    m_scroll = QPoint(0, 0);
}

void CGrabFaceDialog::MakeFaces(bool wholePicture)
{
    m_slot.ClearPictures();
    std::optional<CGrabRect> cut = Selection();
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

std::optional<QPoint> CGrabFaceDialog::PointerToPicture(QPoint point) const
{
    const QPoint picture = m_scroll + (point - m_area->pos());
    if (picture.x() < 0 || picture.y() < 0 || picture.x() >= m_picture->Width()
        || picture.y() >= m_picture->Height())
        return std::nullopt;
    return picture;
}

void CGrabFaceDialog::Redraw()
{
    // The picture area's repaint is left to the event loop, so that moves and ticks that come
    // faster than painting are painted once.
    if (Selection())
        m_slot.InvalidateFrames(false);
    m_area->update();
}

void CGrabFaceDialog::OnLButtonDown(QPoint point)
{
    if (m_dragging || !m_area->geometry().contains(point))
        return;
    // Beside a picture smaller than the area there is nothing to start a drag from.
    const std::optional<QPoint> picturePoint = PointerToPicture(point);
    if (!picturePoint)
        return;
    m_anchor = m_current = *picturePoint;
    m_lastPointer = point;
    m_dragging = true;
    m_slot.ClearPictures();
    Redraw();
}

void CGrabFaceDialog::OnMouseMove(QPoint point)
{
    if (!m_dragging)
        return;
    if (const std::optional<QPoint> picturePoint = PointerToPicture(point)) {
        m_current = *picturePoint;
        m_lastPointer = point;
        Redraw();
    }
}

void CGrabFaceDialog::OnLButtonUp(QPoint point)
{
    if (!m_dragging)
        return;
    if (const std::optional<QPoint> picturePoint = PointerToPicture(point))
        m_current = *picturePoint;
    MakeFaces(false);
    m_dragging = false;
    Redraw();
}

void CGrabFaceDialog::RunScrollTick()
{
    if (!m_dragging)
        return;
    if (const std::optional<QPoint> step = EdgeScrollStep(m_area->geometry(), m_lastPointer)) {
        m_scroll = QPoint(std::clamp(m_scroll.x() + step->x(), 0, m_maxScroll.x()),
                          std::clamp(m_scroll.y() + step->y(), 0, m_maxScroll.y()));
        m_horizontalBar->setValue(m_scroll.x());
        m_verticalBar->setValue(m_scroll.y());
    }
    if (const std::optional<QPoint> picturePoint = PointerToPicture(m_lastPointer)) {
        m_current = *picturePoint;
        Redraw();
    }
}

void CGrabFaceDialog::OnOpenImage()
{
    // The last picture's folder, with that picture chosen, for the next one.
    static QString lastPicture;
    const std::optional<QString> path = Prompts().GetOpenFileName(
        tr("Open"), lastPicture,
        tr("Image files (*.bmp *.jpg *.jpeg *.ppm *.png *.gif);;All files (*)"));
    if (!path)
        return;
    lastPicture = *path;
    LoadPictureFile(*path);
}

void CGrabFaceDialog::LoadPictureFile(const QString &path)
{
    std::unique_ptr<CRgbImage> picture;
    {
        const CWaitCursor wait;
        picture = std::make_unique<CRgbImage>(path);
    }
    const bool loaded = picture->IsLoaded();
    if (!loaded)
        qCInfo(lcUi).noquote() << "Not read whole:" << QDir::toNativeSeparators(path);
    ReplacePicture(std::move(picture), QFileInfo(path).fileName(), loaded);
}

void CGrabFaceDialog::LoadPicture(const QImage &image, const QString &origin)
{
    auto picture = std::make_unique<CRgbImage>(1, 1);
    picture->Reset(1, 1); // black, as a picture no loader reads
    const bool loaded = LoadFromQImage(*picture, image);
    ReplacePicture(std::move(picture), origin, loaded);
}

void CGrabFaceDialog::ReplacePicture(std::unique_ptr<CRgbImage> picture, const QString &origin,
                                     bool loaded)
{
    const CWaitCursor wait;
    m_picture = std::move(picture);
    m_previewSelection.reset();
    m_previews.clear();
    ShowStatus(origin, loaded);
    ResetView();
    Redraw();
}

void CGrabFaceDialog::ShowStatus(const QString &origin, bool loaded)
{
    const QString size = tr("%1 × %2").arg(m_picture->Width()).arg(m_picture->Height());
    const QFontMetrics metrics(m_statusLine->font());
    const QString name = metrics.elidedText(origin, Qt::ElideMiddle, m_statusLine->width());
    QString brief;
    if (loaded) {
        brief = tr("%1\n%2").arg(name, size);
        m_status = tr("%1, %2 pixels.").arg(origin, size);
    } else if (m_picture->Width() * m_picture->Height() <= 1) {
        brief = tr("%1\nnot read").arg(name);
        m_status = tr("%1 could not be read as a picture.").arg(origin);
    } else {
        brief = tr("%1\nread in part").arg(name);
        m_status = tr("%1 could be read only in part: %2 pixels, the rest black.")
                       .arg(origin, size);
    }
    m_statusLine->setText(brief);
    m_statusLine->setToolTip(m_status);
    m_statusLine->setAccessibleName(m_status);
    m_area->setToolTip(m_status);
}

// The picture area's description says what the faces were made from, for a screen reader
// and for anyone who wants the numbers.
void CGrabFaceDialog::DescribeResult(const std::optional<CGrabRect> &cut, bool wholePicture)
{
    QString result;
    if (!m_slot.HasFaces() || !cut)
        result = tr("No faces.");
    else if (wholePicture)
        result = tr("Faces made from the whole picture.");
    else
        result = tr("Faces cut from %1, %2 to %3, %4.")
                     .arg(cut->left)
                     .arg(cut->top)
                     .arg(cut->right)
                     .arg(cut->bottom);
    m_area->setAccessibleDescription(m_status + QLatin1Char(' ') + result);
}

void CGrabFaceDialog::OnSquareClicked()
{
    m_slot.ClearPictures();
    DescribeResult(std::nullopt, false);
    Redraw();
}

void CGrabFaceDialog::OnDontStretchClicked()
{
    m_square->setEnabled(!m_dontStretch->isChecked());
    m_slot.ClearPictures();
    DescribeResult(std::nullopt, false);
    Redraw();
}

void CGrabFaceDialog::OnGrab()
{
    if (m_dragging) {
        MakeFaces(false);
        m_dragging = false;
        Redraw();
    }
    accept();
}

void CGrabFaceDialog::OnTurnOff()
{
    m_slot.ClearPictures();
    accept();
}

void CGrabFaceDialog::OnPaste()
{
    const QMimeData *mime = QGuiApplication::clipboard()->mimeData();
    if (const QString path = LocalPictureFile(mime); !path.isEmpty())
        LoadPictureFile(path);
    else if (mime && mime->hasImage())
        LoadPicture(qvariant_cast<QImage>(mime->imageData()), tr("Pasted picture"));
    else
        QApplication::beep();
}

void CGrabFaceDialog::OnWheel(QWheelEvent *event, bool sideways)
{
    QPoint pixels = event->pixelDelta();
    if (pixels.isNull())
        pixels = event->angleDelta() * (QApplication::wheelScrollLines() * kWheelLinePixels) / 120;
    // Shift turns the wheel sideways; some systems already deliver it so.
    if (event->modifiers() & Qt::ShiftModifier || (pixels.y() == 0 && pixels.x() != 0))
        sideways = true;
    const int delta = pixels.y() != 0 ? pixels.y() : pixels.x();
    QScrollBar *bar = sideways ? m_horizontalBar : m_verticalBar;
    bar->setValue(bar->value() - delta);
}

bool CGrabFaceDialog::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::Wheel
        && (watched == m_area || watched == m_horizontalBar || watched == m_verticalBar)) {
        OnWheel(static_cast<QWheelEvent *>(event), watched == m_horizontalBar);
        return true;
    }
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

void CGrabFaceDialog::dragEnterEvent(QDragEnterEvent *event)
{
    const QMimeData *mime = event->mimeData();
    if (!LocalPictureFile(mime).isEmpty() || mime->hasImage())
        event->acceptProposedAction();
}

void CGrabFaceDialog::dropEvent(QDropEvent *event)
{
    const QMimeData *mime = event->mimeData();
    const QString path = LocalPictureFile(mime);
    const QImage image = path.isEmpty() && mime->hasImage()
        ? qvariant_cast<QImage>(mime->imageData())
        : QImage();
    if (path.isEmpty() && image.isNull())
        return;
    event->acceptProposedAction();
    // Loaded once the drop is over, so the program it came from is not kept waiting.
    QTimer::singleShot(0, this, [this, path, image] {
        if (!path.isEmpty())
            LoadPictureFile(path);
        else
            LoadPicture(image, tr("Dropped picture"));
    });
}

void CGrabFaceDialog::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    const std::optional<CGrabRect> selection = Selection();
    if (m_dragging && selection) {
        PaintPreviews(painter, *selection);
    } else if (selection || m_slot.HasFaces()) {
        m_slot.PaintFaces(painter);
    } else {
        // No result: the frames alone.
        for (const QWidget *frame : {m_slot.SmallFrame(), m_slot.LargeFrame()})
            DrawBorder(painter, frame->geometry(), CFaceSlot::FrameColour());
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

void CGrabFaceDialog::PaintPictureArea(QPainter &painter) const
{
    const QRect area = m_area->rect();
    m_picture->Draw(painter, 1, 1, m_scroll.x(), m_scroll.y(), area.width() - 2,
                    area.height() - 2, -1, -1);
    DrawBorder(painter, area, CFaceSlot::FrameColour());
    if (!m_dragging)
        return;
    // In the area's own coordinates: the picture's origin lies the scroll offset up and left.
    if (const std::optional<CGrabRect> selection = Selection(-m_scroll))
        DrawFocusRect(painter, *selection);
}

} // namespace quorvel
