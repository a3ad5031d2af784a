// Helpers for compare.sh's photo comparisons:
//   bench_picture load PICTURE        loads the picture as the editor does, then exits (its
//                                     peak memory is the loader's)
//   bench_picture p3-profile OUT.icc  writes a Display P3 colour profile, to tag a photo with
#include "image/RgbImage.h"

#include <QColorSpace>
#include <QCoreApplication>
#include <QFile>

#include <cstdio>
#include <cstring>

int main(int argc, char *argv[])
{
    QCoreApplication application(argc, argv);
    if (argc == 3 && std::strcmp(argv[1], "load") == 0) {
        const quorvel::CRgbImage picture(QString::fromLocal8Bit(argv[2]));
        std::printf("%d x %d%s\n", picture.Width(), picture.Height(),
                    picture.IsLoaded() ? "" : ", not read whole");
        return picture.IsLoaded() ? 0 : 1;
    }
    if (argc == 3 && std::strcmp(argv[1], "p3-profile") == 0) {
        QFile out(QString::fromLocal8Bit(argv[2]));
        const QByteArray profile = QColorSpace(QColorSpace::DisplayP3).iccProfile();
        return out.open(QIODevice::WriteOnly) && out.write(profile) == profile.size() ? 0 : 1;
    }
    std::fprintf(stderr, "usage: %s load PICTURE | p3-profile OUT.icc\n", argv[0]);
    return 2;
}
