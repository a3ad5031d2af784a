// Opens a picture in the face grab dialog, as "Open image.." does, and ends once the picture
// area has painted it: the picture is loaded, the halvings the view paints from and the
// whole-picture faces are made, and the picture is painted. The face search that the paint
// starts is left running, as in the editor, and not waited for: bench_faces times it.
// compare.sh times this as a whole process. With --faces it ends only once the face search
// has placed its box or found none, so that a peak memory measured includes the search's.
//   bench_grab_open [--faces] PICTURE   exit status 0 when the picture was read whole and
//                                       faces made

#include "ui/FaceSlot.h"
#include "ui/GrabFaceDialog.h"

#include <QApplication>

#include <cstdio>
#include <cstdlib>
#include <cstring>

int main(int argc, char *argv[])
{
    const bool faces = argc == 3 && std::strcmp(argv[1], "--faces") == 0;
    if (argc != 2 && !faces) {
        std::fprintf(stderr, "usage: %s [--faces] PICTURE\n", argv[0]);
        return 2;
    }
    const char *path = argv[argc - 1];
    // Painted off screen: any display will do, and none is needed.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    using namespace quorvel;
    const CFaceSlot slot("default", 1, 0, 0);
    CGrabFaceDialog dialog(slot);
    dialog.resize(1200, 850);
    dialog.show();
    dialog.LoadPictureFile(QString::fromLocal8Bit(path));
    if (!dialog.Picture().IsLoaded() || !dialog.Result().HasFaces()) {
        std::fprintf(stderr, "%s: %s\n", path, qPrintable(dialog.LoadStatus()));
        return 1;
    }
    dialog.PictureView()->repaint();
    QCoreApplication::processEvents(); // the search starts
    while (faces && dialog.IsFindingFaces())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    // Ending here skips the wait for the search that a normal exit would make.
    std::fflush(nullptr);
    std::_Exit(0);
}
