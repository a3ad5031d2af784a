#pragma once
// The face grab dialog: the user opens a picture, draws a box on it and gets that box as one
// expression's two faces, 64x64 and 24x24, reduced to the game palette. The picture area
// (CGrabPictureView) shows the picture at any scale and holds the box; while the box changes
// the previews show it stretched from the true-colour picture, and when a change ends the faces
// are made from it. The dialog works on a copy of the form's face slot; on accept the form
// takes its faces.

#include "image/FaceFinder.h"
#include "image/RgbImage.h"
#include "ui/FaceSlot.h"
#include "ui/GrabPictureView.h"

#include <QDialog>
#include <QFutureWatcher>

#include <memory>
#include <optional>
#include <vector>

class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;
class QScrollBar;

namespace quorvel {

class CGrabFaceDialog final : public QDialog
{
    Q_OBJECT

public:
    // Template 131's controls, and the zoom box added under the picture area.
    enum ControlId : int {
        kPictureArea = 1017,
        kVerticalOffset = 1020,
        kHorizontalOffset = 1021,
        kPreviewCaption = 1012,
        kSmallPreview = 1022,
        kLargePreview = 1023,
        kSquare = 1024,
        kDontStretch = 1025,
        kOpenImage = 1013,
        kGrab = 1016,
        kTurnOff = 1036,
        kCancel = 2,
        kZoom = 1040,
        kFindFace = 1041,
    };

    // Works on a copy of the slot. The first picture is the slot's large face in its colours,
    // or the no-picture image when the slot has no faces; its faces are made at once.
    explicit CGrabFaceDialog(const CFaceSlot &slot, QWidget *parent = nullptr);
    ~CGrabFaceDialog() override;

    // The faces made so far: from the last box, from a whole new picture, or none.
    const CFaceSlot &Result() const { return m_slot; }

    // Loads a picture file as "Open image.." does. A file no loader reads at all leaves the
    // picture, the box and the faces as they were; one read in part is shown, black where it
    // could not be read. The status line says which.
    void LoadPictureFile(const QString &path);
    // Takes a picture already decoded (pasted); origin names it in the status line.
    void LoadPicture(const QImage &picture, const QString &origin);
    // Ctrl+V: the picture, or the picture file, on the clipboard; a beep when there is none.
    void OnPaste();

    const CRgbImage &Picture() const { return *m_picture; }
    CGrabPictureView *PictureView() const { return m_view; }
    // What the picture is and whether it was read whole, or what could not be read.
    QString LoadStatus() const { return m_status; }
    // The whole status line: the load status, then the box and the scale.
    QString StatusLine() const;

    // True from a photo's arrival until the face finder has searched it: the search starts
    // once the picture area has painted the photo, so it never delays the photo's showing.
    bool IsFindingFaces() const { return m_searchPending || m_faceSearch.isRunning(); }
    // The squares proposed for the faces found in the picture, largest first.
    const std::vector<CGrabRect> &FaceBoxes() const { return m_faceBoxes; }

protected:
    void showEvent(QShowEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dropEvent(QDropEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;
    void done(int result) override;

private:
    void CreateControls();
    void CreateShortcuts();
    // Places the controls for the dialog's size: the picture area and its scroll bars take
    // the growth beyond the template's size; the column at the right keeps beside them.
    void LayOutControls();
    void ResetView();
    void MakeFaces(bool wholePicture);
    // The one path by which the picture area's changes reach the other controls.
    void OnViewChanged(CGrabPictureView::EChanges what);
    void SyncViewControls();
    // why: the loaders' reason for a picture not read, or their notes on one read.
    void ReplacePicture(std::unique_ptr<CRgbImage> picture, const QString &origin, bool loaded,
                        const QString &why = QString());
    void ShowStatus(const QString &status);
    // The load status and the faces found, as the status line and the description say it.
    QString FullStatus() const;
    // What the faces were made from: that rectangle, the whole picture, or nothing.
    void DescribeResult(const std::optional<CGrabRect> &cut, bool wholePicture);
    void ShowNumbers();

    void OnOpenImage();
    void OnModeClicked();
    void OnGrab();
    void OnTurnOff();
    // Face finding (GrabFaceDialogFaces.cpp): a search starts in the background once a photo
    // that arrived is on screen; what it finds is proposed once it ends, unless the user has
    // drawn a box.
    void CreateFindFaceButton();
    void StartFaceSearch();
    // Called as the picture area paints: starts the search due, after that paint.
    void OnPictureAreaPainting();
    void RunFaceSearch();
    void OnFacesFound();
    void OnFindFace();
    void PlaceBoxOnFace(std::size_t index);

    void PaintPreviews(QPainter &painter, const CGrabRect &selection);

    // Shared with a face search under way, which may outlast the picture's showing.
    std::shared_ptr<const CRgbImage> m_picture;
    CFaceSlot m_slot;

    CGrabPictureView *m_view = nullptr;
    QScrollBar *m_horizontalBar = nullptr;
    QScrollBar *m_verticalBar = nullptr;
    QCheckBox *m_square = nullptr;
    QCheckBox *m_dontStretch = nullptr;
    QComboBox *m_zoom = nullptr;
    QLabel *m_statusLine = nullptr;
    QPushButton *m_findFace = nullptr;
    QString m_status;
    QString m_statusName; // the picture's name in m_status, shortened first when it is long
    QString m_facesNote; // how many faces the finder found in the picture shown
    QString m_result; // the description of what the faces were made from
    bool m_wholePicture = false;

    QFutureWatcher<std::vector<CFoundFace>> m_faceSearch;
    int m_pictureGeneration = 0; // counts the pictures that arrived, so a late search is known
    int m_searchGeneration = -1;
    bool m_searchPending = false; // a photo arrived, not yet painted and searched
    std::vector<CGrabRect> m_faceBoxes;
    std::size_t m_faceIndex = 0;
    bool m_onFace = false; // the box stands on m_faceBoxes[m_faceIndex]

    // Each control's place in the template, in pixels, for the layout to move from.
    std::vector<std::pair<QWidget *, QRect>> m_places;
    QSize m_smallest;

    // The live previews of the last box painted, kept while it stands.
    std::optional<CGrabRect> m_previewSelection;
    std::vector<std::unique_ptr<CRgbImage>> m_previews;
};

// What the dialog opens on in place of the slot's own face: a picture file, or the picture
// on the clipboard.
struct CGrabStart
{
    QString picturePath;
    bool fromClipboard = false;
};

// Runs the face grab dialog modally on a copy of the slot, as a child of the parent window,
// with the picture the start names already loaded. When it is accepted the slot takes
// copies of the faces it made (none when it made none) and the result is true; otherwise the
// slot is left as it was.
bool RunGrabFaceDialog(CFaceSlot &slot, QWidget *parent, const CGrabStart &start = {});

// Sets the face finder up on a thread of its own, once per run, so that the first photo to
// arrive is searched at once. Quitting does not wait for it.
void PrepareFaceFinderInBackground();

} // namespace quorvel
