#pragma once
// Picture file loaders. Each works on an image under construction and returns true when it read
// the whole picture; a loader that fails leaves the image as the failure left it (unchanged, or
// black at the header's size with the pixels read so far) and says why on the lcImage category.

#include "image/RgbImage.h"

#include <QByteArray>
#include <QImage>
#include <QString>

#include <cstddef>
#include <cstdint>
#include <memory>

class QIODevice;

namespace quorvel {

class CPictureRows;

// PPM, plain (P3) or raw (P6), maxval up to 255; samples are stored as they stand, not scaled.
bool LoadPpm(CRgbImage &image, QIODevice &device, std::int64_t maxPixels = kMaxPicturePixels);
bool LoadPpm(CRgbImage &image, const QString &path, std::int64_t maxPixels = kMaxPicturePixels);

// No camera writes a JPEG file anywhere near this large; larger ones are refused.
inline constexpr std::int64_t kMaxJpegFileBytes = std::int64_t(1) << 30;

// JPEG through libjpeg-turbo, decoded as the file is read (see JpegStream.h) and turned upright
// as its EXIF orientation says; bad data after a good header leaves the picture black at the
// header's size.
bool LoadJpeg(CRgbImage &image, const QString &path, std::int64_t maxPixels = kMaxPicturePixels);

// PNG through libpng, decoded a row at a time straight into the picture and turned upright as
// its eXIf chunk says: palettes and grey expanded, 16 bits scaled to 8, alpha dropped with the
// colours kept as they stand. Bad data after a good header leaves it black at the header's size.
bool LoadPng(CRgbImage &image, const QString &path, std::int64_t maxPixels = kMaxPicturePixels);

// HEIF and AVIF (format says which) through libheif: the primary image with its rotation,
// mirroring and cropping applied, deeper samples scaled to 8 bits, alpha dropped.
bool LoadHeif(CRgbImage &image, const QString &path, EPictureFormat format,
              std::int64_t maxPixels = kMaxPicturePixels);
// Whether libheif has a decoder for the format here; if not, *why says which is missing.
bool CanDecodeHeif(EPictureFormat format, QString *why);

// Windows bitmap files, whatever Qt's bitmap reader accepts.
bool LoadBmp(CRgbImage &image, const QString &path, std::int64_t maxPixels = kMaxPicturePixels);

// Any other picture Qt can read (PNG, GIF, PGM, ...), recognised by content. JPEG, bitmap and
// PPM files are left to their own loaders so that those behave the same under any name.
bool LoadOtherPicture(CRgbImage &image, const QString &path,
                      std::int64_t maxPixels = kMaxPicturePixels);

// A picture already decoded (from the clipboard, say): its colours, alpha ignored. False, with
// the image unchanged, when it is empty or larger than maxPixels.
bool LoadFromQImage(CRgbImage &image, const QImage &picture,
                    std::int64_t maxPixels = kMaxPicturePixels);

// The loaders the file name's extension chooses, in turn, until one succeeds:
// .jpg/.jpeg JPEG only, .ppm PPM only, .bmp bitmap only; any other name JPEG, PPM, bitmap and
// then the other pictures Qt reads. The extension is compared without regard to case.
bool LoadPicture(CRgbImage &image, const QString &path, std::int64_t maxPixels = kMaxPicturePixels);

// The row decoder that LoadPicture would read the file with, opened, when that is one that hands
// out rows (a JPEG, or a PNG that is not interlaced); null when it is another kind, or when the
// decoder refuses the file (report then says why, for a file it recognised). onlyChoice: no
// loader would be tried after it, so that when it fails the picture is not read.
std::unique_ptr<CPictureRows> OpenPictureRows(const QString &path, std::int64_t maxPixels,
                                              CLoadReport &report, bool &onlyChoice);

// The loaders LoadPicture chooses for a file name: one kind only, or every kind in turn.
enum class EPictureLoaders { Jpeg, Ppm, Bmp, Any };
EPictureLoaders LoadersFor(const QString &path);

// What a picture file's first bytes say it is, whatever its name; for telling a user why a load
// failed. Unknown for anything else, however short.
EPictureFormat PictureFormatOfContent(const QByteArray &head);
// Looks at the file's first bytes; Unknown when it cannot be read.
EPictureFormat PictureFormatOfFile(const QString &path);
// The format a file's name promises by its extension; Unknown for other names.
EPictureFormat PictureFormatOfName(const QString &path);
// The format's usual name, "JPEG", "PNG", ...; empty for Unknown.
QString PictureFormatName(EPictureFormat format);

// Whether this build reads the format; if not, *why ends "HEIF picture, but ..." with the
// reason ("this build cannot decode HEVC").
bool CanReadPictureFormat(EPictureFormat format, QString *why);
// The extensions of every format this build reads, in the file dialog's order: "bmp", "jpg", ...
QStringList ReadablePictureExtensions();
// The file dialog's filter: those extensions as "Image files (...)", then all files.
QString PictureFileFilter();
// "BMP, JPEG, ... or PBM": the formats this build reads, for messages and help.
QString ReadablePictureFormatList();

// Why the picture file at path was not read whole, as words to follow "NAME: ", from what its
// loaders reported and, when none recognised it, from its name and its first bytes.
QString PictureProblemText(const QString &path, const CLoadReport &report);

} // namespace quorvel
