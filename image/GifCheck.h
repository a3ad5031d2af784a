#pragma once
// The check that Qt's GIF reader lacks, for the loader of Qt-read pictures.

#include <QString>

namespace quorvel::loaders {

// True when the file ends before its first image's data does.
bool GifCutShort(const QString &path);

} // namespace quorvel::loaders
