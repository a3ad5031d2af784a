#include "ui/FaceActions.h"

#include "company/QuorvelDoc.h"
#include "image/PaletteImage.h"
#include "image/PalettePng.h"
#include "platform/FileCommit.h"
#include "platform/Logging.h"
#include "game/ObjectFolder.h"
#include "platform/Prompts.h"
#include "ui/FaceClipboard.h"
#include "ui/FaceFrame.h"
#include "ui/FaceSlot.h"
#include "ui/GrabFaceDialog.h"
#include "ui/QuorvelView.h"

#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QDrag>
#include <QFileInfo>
#include <QMenu>
#include <QMimeData>
#include <QStatusTipEvent>
#include <QTimer>

#include <utility>

namespace quorvel {

namespace {

// Which expression of which form a drag carries, so a drop on the same form can swap the two
// and a drop anywhere else copies.
constexpr char kSourceMimeType[] = "application/x-quorvel-face-source";

// The first local file among the URLs, or nothing.
QString DroppedFile(const QMimeData *mime)
{
    if (mime) {
        for (const QUrl &url : mime->urls()) {
            if (url.isLocalFile())
                return url.toLocalFile();
        }
    }
    return {};
}

QString Title(const CFaceSlot &slot)
{
    return CapitalisedExpression(slot.ExpressionName());
}

} // namespace

CFaceActions::CFaceActions(CQuorvelView *view)
    : QObject(view)
    , m_view(view)
{
}

void CFaceActions::ConnectFrame(CFaceFrame *frame, std::size_t slotIndex)
{
    const auto slot = [this, slotIndex]() -> CFaceSlot & {
        return m_view->FaceSlots()[slotIndex];
    };
    connect(frame, &CFaceFrame::copyRequested, this, [this, slot] { Copy(slot()); });
    connect(frame, &CFaceFrame::cutRequested, this, [this, slot] { Cut(slot()); });
    connect(frame, &CFaceFrame::pasteRequested, this, [this, slot] { Paste(slot()); });
    frame->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(frame, &QWidget::customContextMenuRequested, this, [this, frame, slot](const QPoint &at) {
        ShowContextMenu(slot(), frame->mapToGlobal(at));
    });
}

CFaceSlot *CFaceActions::SlotAt(const QPoint &point) const
{
    for (CFaceSlot &slot : m_view->FaceSlots()) {
        if (slot.HitTest(point))
            return &slot;
    }
    return nullptr;
}

std::optional<CFacePair> CFaceActions::Faces(const CFaceSlot &slot) const
{
    const CQuorvelDoc *document = m_view->GetDocument();
    return document ? DocumentFaces(*document, slot.ExpressionBit()) : std::nullopt;
}

void CFaceActions::Press(const QPoint &point)
{
    m_pressed = SlotAt(point);
    m_pressPoint = point;
}

void CFaceActions::Move(const QPoint &point)
{
    if (!m_pressed || (point - m_pressPoint).manhattanLength() < QApplication::startDragDistance())
        return;
    // A frame without faces has nothing to drag; its press may still end as a click.
    if (!CanCopy(*m_pressed))
        return;
    StartDrag(*std::exchange(m_pressed, nullptr));
}

void CFaceActions::Release(const QPoint &point)
{
    CFaceSlot *slot = std::exchange(m_pressed, nullptr);
    if (slot && slot->HitTest(point))
        m_view->OnFaceClicked(*slot);
}

QByteArray CFaceActions::SourceMark(const CFaceSlot &slot) const
{
    return QByteArray::number(QCoreApplication::applicationPid()) + ' '
        + QByteArray::number(quintptr(m_view), 16) + ' ' + QByteArray::number(slot.ExpressionBit());
}

const CFaceSlot *CFaceActions::SourceSlot(const QMimeData *mime) const
{
    const QByteArray mark = mime ? mime->data(QLatin1String(kSourceMimeType)) : QByteArray();
    for (const CFaceSlot &slot : m_view->FaceSlots()) {
        if (!mark.isEmpty() && mark == SourceMark(slot))
            return &slot;
    }
    return nullptr;
}

std::unique_ptr<QMimeData> CFaceActions::DragData(const CFaceSlot &slot) const
{
    const std::optional<CFacePair> faces = Faces(slot);
    if (!faces)
        return nullptr;
    std::unique_ptr<QMimeData> mime = FacesToMimeData(*faces);
    mime->setData(QLatin1String(kSourceMimeType), SourceMark(slot));
    return mime;
}

void CFaceActions::StartDrag(const CFaceSlot &slot)
{
    std::unique_ptr<QMimeData> mime = DragData(slot);
    if (!mime)
        return;
    auto *drag = new QDrag(m_view->Form());
    drag->setPixmap(QPixmap::fromImage(mime->imageData().value<QImage>()));
    drag->setHotSpot(QPoint(kLargeFaceSide / 2, kLargeFaceSide / 2));
    drag->setMimeData(mime.release());
    drag->exec(Qt::CopyAction | Qt::MoveAction, Qt::CopyAction);
}

bool CFaceActions::AcceptsDrop(const QPoint &point, const QMimeData *mime) const
{
    if (!mime || !m_view->GetDocument() || !SlotAt(point))
        return false;
    return mime->hasFormat(QLatin1String(kFacesMimeType)) || !DroppedFile(mime).isEmpty();
}

void CFaceActions::Drop(const QPoint &point, const QMimeData *mime, bool swap)
{
    CFaceSlot *target = SlotAt(point);
    if (!target || !AcceptsDrop(point, mime))
        return;
    if (const std::optional<CFacePair> faces = FacesFromMimeData(mime)) {
        const CFaceSlot *source = SourceSlot(mime);
        if (source == target)
            return;
        if (source && swap)
            SwapFaces(*source, *target);
        else if (source)
            CopyFaces(*source, *target);
        else
            SetFaces(tr("Drop %1 Face").arg(Title(*target)), {{target, &*faces}});
        return;
    }
    // The dialog runs once the drop is over, so the program it came from is not kept waiting.
    const QString path = DroppedFile(mime);
    const std::size_t index = std::size_t(target - m_view->FaceSlots().data());
    QTimer::singleShot(0, this, [this, index, path] {
        m_view->OnFaceClicked(m_view->FaceSlots()[index], CGrabStart{path});
    });
}

bool CFaceActions::CanCopy(const CFaceSlot &slot) const
{
    return Faces(slot).has_value();
}

bool CFaceActions::CanTurnOff(const CFaceSlot &slot) const
{
    return slot.ExpressionBit() != kDefaultExpressionBit && CanCopy(slot);
}

bool CFaceActions::CanPaste() const
{
    const QMimeData *mime = QGuiApplication::clipboard()->mimeData();
    return m_view->GetDocument() && mime && (FacesFromMimeData(mime) || HoldsPicture(mime));
}

void CFaceActions::Copy(const CFaceSlot &slot)
{
    const std::optional<CFacePair> faces = Faces(slot);
    if (!faces) {
        QApplication::beep();
        return;
    }
    QGuiApplication::clipboard()->setMimeData(FacesToMimeData(*faces).release());
    Tell(tr("Copied the %1 faces").arg(QLatin1String(slot.ExpressionName())));
}

void CFaceActions::Cut(const CFaceSlot &slot)
{
    if (!CanTurnOff(slot)) {
        QApplication::beep();
        if (slot.ExpressionBit() == kDefaultExpressionBit)
            Tell(tr("The default face cannot be turned off"));
        return;
    }
    Copy(slot);
    SetFaces(tr("Cut %1 Face").arg(Title(slot)), {{&slot, nullptr}});
}

void CFaceActions::Paste(CFaceSlot &slot)
{
    const QMimeData *mime = QGuiApplication::clipboard()->mimeData();
    if (!m_view->GetDocument())
        return;
    if (const std::optional<CFacePair> faces = FacesFromMimeData(mime)) {
        SetFaces(tr("Paste %1 Face").arg(Title(slot)), {{&slot, &*faces}});
        return;
    }
    if (!HoldsPicture(mime)) {
        QApplication::beep();
        return;
    }
    m_view->OnFaceClicked(slot, CGrabStart{QString(), true});
}

void CFaceActions::TurnOff(const CFaceSlot &slot)
{
    if (!CanTurnOff(slot)) {
        QApplication::beep();
        return;
    }
    SetFaces(tr("Turn Off %1 Face").arg(Title(slot)), {{&slot, nullptr}});
}

void CFaceActions::CopyFaces(const CFaceSlot &from, const CFaceSlot &to)
{
    const std::optional<CFacePair> faces = Faces(from);
    if (!faces || &from == &to)
        return;
    SetFaces(tr("Copy %1 Face to %2").arg(Title(from), Title(to)), {{&to, &*faces}});
}

void CFaceActions::SwapFaces(const CFaceSlot &a, const CFaceSlot &b)
{
    if (&a == &b)
        return;
    const std::optional<CFacePair> facesA = Faces(a);
    const std::optional<CFacePair> facesB = Faces(b);
    if (!facesA && !facesB)
        return;
    if ((a.ExpressionBit() == kDefaultExpressionBit && !facesB)
        || (b.ExpressionBit() == kDefaultExpressionBit && !facesA)) {
        QApplication::beep();
        Tell(tr("The default face cannot be turned off"));
        return;
    }
    // Named in expression order, whichever way the drag went.
    const bool inOrder = a.ExpressionBit() < b.ExpressionBit();
    const QString step = tr("Swap %1 and %2 Faces")
                             .arg(Title(inOrder ? a : b), Title(inOrder ? b : a));
    SetFaces(step, {{&a, facesB ? &*facesB : nullptr}, {&b, facesA ? &*facesA : nullptr}});
}

void CFaceActions::SetFaces(const QString &step, std::initializer_list<CFaceChange> changes)
{
    CQuorvelDoc *document = m_view->GetDocument();
    if (!document)
        return;
    qCDebug(lcUi) << "face change:" << step;
    // Every face the action sets is one undoable step, named by the action.
    const CQuorvelDoc::CStep undoStep(*document, step);
    for (const auto &[slot, faces] : changes) {
        document->SetFaces(slot->ExpressionBit(), faces ? faces->small.data() : nullptr,
                           faces ? faces->large.data() : nullptr);
    }
    document->UpdateAllViews();
}

void CFaceActions::SaveFacesAs(const CFaceSlot &slot)
{
    const std::optional<CFacePair> faces = Faces(slot);
    if (!faces) {
        QApplication::beep();
        return;
    }
    const QString start = m_saveFolder.isEmpty() ? GetDocumentsFolder() : m_saveFolder;
    const std::optional<QString> folder =
        Prompts().GetExistingFolder(tr("Save %1 Faces As").arg(Title(slot)), start);
    if (!folder || folder->isEmpty())
        return;

    // Named as `quorvel-tool faces` names them, and written as it writes them: both or neither.
    const QDir dir(*folder);
    const std::pair<const std::uint8_t *, int> pictures[] = {
        {faces->large.data(), kLargeFaceSide}, {faces->small.data(), kSmallFaceSide}};
    std::vector<CFileToWrite> files;
    QStringList names;
    QStringList existing;
    for (const auto &[indices, side] : pictures) {
        const QString name = QStringLiteral("%1-%2.png").arg(QLatin1String(slot.ExpressionName())).arg(side);
        names << name;
        if (QFileInfo::exists(dir.filePath(name)))
            existing << name;
        files.push_back({dir.filePath(name), [indices, side](QIODevice &device) {
                             return WritePalettePng(device, indices, side, side);
                         }});
    }
    const QString shownFolder = QDir::toNativeSeparators(dir.absolutePath());
    if (!existing.isEmpty()) {
        const QString question = existing.size() == 1
            ? tr("%1 is in %2 already. Replace it?").arg(existing.first(), shownFolder)
            : tr("%1 and %2 are in %3 already. Replace them?")
                  .arg(existing.at(0), existing.at(1), shownFolder);
        if (Prompts().ShowMessage(question, FrameworkCaption(), MessageButtons::YesNo,
                                  MessageIcon::Question, true)
            != MessageAnswer::Yes)
            return;
    }
    std::size_t failed = 0;
    const CWriteResult result = WriteWholeFiles(files, &failed);
    if (!result.Written()) {
        QString text = FileErrorText(result.cause, files.at(failed).path);
        if (text.isEmpty())
            text = tr("%1 could not be written.").arg(QDir::toNativeSeparators(files.at(failed).path));
        Prompts().ShowMessage(text, FrameworkCaption(), MessageButtons::Ok, MessageIcon::Warning,
                              true);
        return;
    }
    m_saveFolder = *folder;
    Tell(tr("Saved %1 and %2 in %3").arg(names.at(0), names.at(1), shownFolder));
}

std::unique_ptr<QMenu> CFaceActions::ContextMenu(CFaceSlot &slot)
{
    auto menu = std::make_unique<QMenu>(m_view);
    menu->setObjectName(QStringLiteral("faceMenu"));
    menu->setAccessibleName(tr("%1 face").arg(Title(slot)));
    CFaceSlot *target = &slot;
    // Queued, so a dialog that an item opens runs after the menu has gone.
    const auto add = [&](const QString &text, bool enabled, auto act) {
        QAction *action = menu->addAction(text);
        action->setEnabled(enabled);
        connect(action, &QAction::triggered, this, [this, target, act] { (this->*act)(*target); },
                Qt::QueuedConnection);
        return action;
    };
    const bool document = m_view->GetDocument() != nullptr;
    QAction *grab = menu->addAction(tr("&Grab Face..."));
    grab->setEnabled(document);
    connect(grab, &QAction::triggered, this, [this, target] { m_view->OnFaceClicked(*target); },
            Qt::QueuedConnection);
    menu->addSeparator();
    add(tr("&Copy"), CanCopy(slot), &CFaceActions::Copy)->setShortcut(QKeySequence::Copy);
    add(tr("&Paste"), CanPaste(), &CFaceActions::Paste)->setShortcut(QKeySequence::Paste);
    add(tr("&Turn Off"), CanTurnOff(slot), &CFaceActions::TurnOff);
    menu->addSeparator();
    add(tr("&Save Faces As..."), CanCopy(slot), &CFaceActions::SaveFacesAs);
    // The shortcuts are shown as a reminder; the frame itself hears the keys.
    for (QAction *action : menu->actions())
        action->setShortcutContext(Qt::WidgetShortcut);
    return menu;
}

void CFaceActions::ShowContextMenu(CFaceSlot &slot, const QPoint &globalPos)
{
    const std::unique_ptr<QMenu> menu = ContextMenu(slot);
    menu->exec(globalPos);
}

void CFaceActions::Tell(const QString &text) const
{
    QStatusTipEvent tip(text);
    QCoreApplication::sendEvent(m_view->Form(), &tip);
}

} // namespace quorvel
