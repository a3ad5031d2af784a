// The face grab dialog's face finding: each photo that arrives is searched in the background
// once it is on screen, and the box is put around the largest face found unless the user has
// drawn one meanwhile. "Find face" moves the box to the next face.

#include "ui/GrabFaceDialog.h"

#include "image/PicturePyramid.h"
#include "platform/Logging.h"
#include "ui/DialogTemplate.h"

#include <QCheckBox>
#include <QPushButton>
#include <QtConcurrent>

#include <mutex>
#include <system_error>
#include <thread>

namespace quorvel {

void PrepareFaceFinderInBackground()
{
    if (!FaceFinderBuiltIn())
        return;
    static std::once_flag started;
    std::call_once(started, [] {
        try {
            // Not the thread pool, whose end waits for its work: the setup holds nothing of
            // the program's, so a quit in the middle of it may simply end the process.
            std::thread(PrepareFaceFinder).detach();
        } catch (const std::system_error &e) {
            qCWarning(lcUi) << "face finder not set up ahead:" << e.what(); // the first search will
        }
    });
}

void CGrabFaceDialog::CreateFindFaceButton()
{
    m_findFace = FindControl<QPushButton>(this, kFindFace);
    m_findFace->setEnabled(false);
    if (!FaceFinderBuiltIn()) {
        m_findFace->hide(); // built without the finder: the feature is not there
        return;
    }
    m_view->installEventFilter(this); // its paints start the setup and the searches
    connect(m_findFace, &QPushButton::clicked, this, &CGrabFaceDialog::OnFindFace);
    connect(&m_faceSearch, &QFutureWatcherBase::finished, this, &CGrabFaceDialog::OnFacesFound);
}

void CGrabFaceDialog::StartFaceSearch()
{
    ++m_pictureGeneration;
    m_faceBoxes.clear();
    m_onFace = false;
    m_facesNote.clear();
    m_findFace->setEnabled(false);
    m_findFace->setAccessibleDescription(QString());
    if (!FaceFinderBuiltIn())
        return;
    // Decoding and halving a photo already keep both cores busy: the search waits until the
    // photo is on screen.
    m_searchPending = true;
    m_view->update();
}

void CGrabFaceDialog::OnPictureAreaPainting()
{
    // Set up while the user picks a photo; not before the dialog is on screen, nor while
    // the photo it opens with is read.
    PrepareFaceFinderInBackground();
    if (m_searchPending)
        QMetaObject::invokeMethod(this, &CGrabFaceDialog::RunFaceSearch, Qt::QueuedConnection);
}

void CGrabFaceDialog::RunFaceSearch()
{
    if (!m_searchPending)
        return; // several paints queued it; the first started it
    m_searchPending = false;
    // The search holds the picture and a copy of its halvings (whose levels are shared, not
    // copied), so a new picture or a closed dialog cannot pull them from under it.
    const std::shared_ptr<const CRgbImage> picture = m_picture;
    const CPicturePyramid pyramid = m_view->Pyramid();
    m_searchGeneration = m_pictureGeneration;
    m_faceSearch.setFuture(QtConcurrent::run([picture, pyramid] {
        return FindFaces(*picture, &pyramid);
    }));
}

void CGrabFaceDialog::OnFacesFound()
{
    // A search for a picture that has been replaced since tells nothing about this one.
    if (m_searchGeneration != m_pictureGeneration || m_faceSearch.isCanceled())
        return;
    const std::vector<CFoundFace> faces = m_faceSearch.result();
    m_faceBoxes.clear();
    for (const CFoundFace &face : faces) {
        if (const std::optional<CPixelRect> square =
                FaceSquare(face.detection, m_picture->Width(), m_picture->Height()))
            m_faceBoxes.push_back({square->x, square->y, square->x + square->width,
                                   square->y + square->height});
    }
    qCDebug(lcUi) << "faces found:" << m_faceBoxes.size();
    m_findFace->setEnabled(!m_faceBoxes.empty());
    const int count = int(m_faceBoxes.size());
    m_facesNote = count == 0 ? tr("No face found.")
                  : count == 1 ? tr("1 face found.")
                               : tr("%1 faces found.").arg(count);
    // The user's own box wins: a proposal arriving late must not take it away.
    if (!m_faceBoxes.empty() && !m_view->Box() && !m_view->IsChanging())
        PlaceBoxOnFace(0);
    else
        ShowStatus(m_status);
}

void CGrabFaceDialog::OnFindFace()
{
    if (m_faceBoxes.empty())
        return;
    PlaceBoxOnFace(m_onFace ? (m_faceIndex + 1) % m_faceBoxes.size() : 0);
}

void CGrabFaceDialog::PlaceBoxOnFace(std::size_t index)
{
    // A face in a photo is rarely 64 pixels: the box is a square of its own size.
    m_dontStretch->setChecked(false);
    m_square->setChecked(true);
    m_square->setEnabled(true);
    m_view->SetModes(true, false);
    m_view->SetBox(m_faceBoxes[index]); // reported done: the faces are made from it
    m_view->BringBoxIntoSight();
    m_faceIndex = index;
    m_onFace = true;
    const QString where = tr("Box on face %1 of %2.").arg(index + 1).arg(m_faceBoxes.size());
    m_findFace->setAccessibleDescription(where);
    ShowStatus(m_status);
}

} // namespace quorvel
