#include "image/GifCheck.h"

#include "image/LoaderSupport.h"
#include "platform/Logging.h"

#include <QFile>

namespace quorvel::loaders {

namespace {

// The size of a colour table that the packed byte of a descriptor announces, 0 for none.
qint64 ColourTableBytes(uchar packed)
{
    return (packed & 0x80) ? 3 * (qint64(1) << ((packed & 7) + 1)) : 0;
}

} // namespace

// A GIF is a header, the screen descriptor and its colour table, then blocks: extensions (0x21)
// and images (0x2C), each image a descriptor, its colour table and its data, and extension and
// image data alike in sub-blocks of a length byte and that many bytes, ended by an empty one.
// Qt's reader shows whatever a file cut short holds; the loader wants the first image whole.
bool GifCutShort(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const qint64 size = file.size();
    const QByteArray header = file.read(13);
    if (header.size() < 13)
        return true;
    qint64 at = 13 + ColourTableBytes(uchar(header[10]));
    const auto byteAt = [&file, size](qint64 offset, uchar &byte) {
        char c = 0;
        if (offset >= size || !file.seek(offset) || !file.getChar(&c))
            return false;
        byte = uchar(c);
        return true;
    };
    // Skips sub-blocks from offset on; false when the file ends before the empty one.
    const auto skipSubBlocks = [&](qint64 &offset) {
        for (;;) {
            uchar length = 0;
            if (!byteAt(offset, length))
                return false;
            ++offset;
            if (length == 0)
                return true;
            offset += length;
        }
    };
    for (;;) {
        uchar block = 0;
        if (!byteAt(at, block)) {
            qCDebug(lcImage) << "GIF:" << Shown(path) << "ends before its first image";
            return true;
        }
        if (block == 0x21) { // an extension: its label, then sub-blocks
            at += 2;
            if (!skipSubBlocks(at)) {
                qCDebug(lcImage) << "GIF:" << Shown(path) << "ends in an extension";
                return true;
            }
        } else if (block == 0x2C) { // an image: descriptor, colour table, code size, data
            uchar packed = 0;
            if (!byteAt(at + 9, packed))
                return true;
            at += 10 + ColourTableBytes(packed) + 1;
            if (!skipSubBlocks(at)) {
                qCDebug(lcImage) << "GIF:" << Shown(path) << "is cut short in its first image";
                return true;
            }
            return false;
        } else {
            return false; // the trailer, or no GIF block: left to the reader
        }
    }
}

} // namespace quorvel::loaders
