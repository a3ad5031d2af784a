// Where the face grab dialog's pictures come from: "Open image..", a file or picture dropped
// on the dialog or pasted, and what becomes of a file that cannot be read.

#include "ui/GrabFaceDialog.h"

#include "image/Loaders.h"
#include "platform/Logging.h"
#include "platform/Prompts.h"

#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QDragEnterEvent>
#include <QFileInfo>
#include <QMimeData>
#include <QTimer>

namespace quorvel {

namespace {

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

} // namespace

void CGrabFaceDialog::OnOpenImage()
{
    // The last picture's folder, with that picture chosen, for the next one.
    static QString lastPicture;
    const std::optional<QString> path = Prompts().GetOpenFileName(
        tr("Open"), lastPicture,
        PictureFileFilter());
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
    // Why, in the words quorvel-tool uses too; or, for a picture read, the loaders' notes.
    const QString why = loaded ? picture->LoadReport().notes.join(QLatin1Char(' '))
                               : PictureProblemText(path, picture->LoadReport());
    ReplacePicture(std::move(picture), QFileInfo(path).fileName(), loaded, why);
}

void CGrabFaceDialog::LoadPicture(const QImage &image, const QString &origin)
{
    auto picture = std::make_unique<CRgbImage>(1, 1);
    picture->Reset(1, 1); // black, as a picture no loader reads
    const bool loaded = LoadFromQImage(*picture, image);
    ReplacePicture(std::move(picture), origin, loaded);
}

void CGrabFaceDialog::ReplacePicture(std::unique_ptr<CRgbImage> picture, const QString &origin,
                                     bool loaded, const QString &why)
{
    const QString size = tr("%1 × %2").arg(picture->Width()).arg(picture->Height());
    m_statusName = origin;
    if (!loaded && std::int64_t(picture->Width()) * picture->Height() <= 1) {
        // Nothing was read: what the user had stays, box and faces too.
        ShowStatus(why.isEmpty() ? tr("%1 could not be read as a picture.").arg(origin)
                                 : tr("%1 could not be read as a picture: %2").arg(origin, why));
        return;
    }
    const CWaitCursor wait;
    m_picture = std::move(picture);
    m_status = loaded ? tr("%1, %2 pixels.").arg(origin, size)
                      : tr("%1 could be read only in part: %2 pixels, the rest black.")
                            .arg(origin, size);
    if (loaded && !why.isEmpty())
        m_status += QLatin1Char(' ') + why;
    ResetView();
    StartFaceSearch(); // first, so the status says nothing of the last picture's faces
    ShowStatus(m_status);
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

} // namespace quorvel
