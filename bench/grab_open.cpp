// Opens a picture in the face grab dialog, as "Open image.." does, and ends: the picture is
// loaded and the dialog makes its whole-picture faces. compare.sh times it as a whole process.
//   bench_grab_open PICTURE     exit status 0 when the picture was read whole and faces made

#include "ui/FaceSlot.h"
#include "ui/GrabFaceDialog.h"

#include <QApplication>

#include <cstdio>

int main(int argc, char *argv[])
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s PICTURE\n", argv[0]);
        return 2;
    }
    // Nothing is shown: any display will do, and none is needed.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    using namespace quorvel;
    const CFaceSlot slot("default", 1, 0, 0);
    CGrabFaceDialog dialog(slot);
    dialog.LoadPictureFile(QString::fromLocal8Bit(argv[1]));
    if (!dialog.Picture().IsLoaded() || !dialog.Result().HasFaces()) {
        std::fprintf(stderr, "%s: %s\n", argv[1], qPrintable(dialog.LoadStatus()));
        return 1;
    }
    return 0;
}
