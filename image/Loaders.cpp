#include "image/Loaders.h"
#include "image/HeifRows.h"
#include "image/JpegStream.h"
#include "image/LoaderSupport.h"
#include "image/PngRows.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>

#include <algorithm>
#include <cstring>

namespace quorvel {

using loaders::LittleEndian;

namespace {

QString Tr(const char *text)
{
    return QCoreApplication::translate("CPictureLoaders", text);
}

// Every format the loaders know: its name, the extensions that promise it, and the Qt image
// format that reads it where no loader of our own does. In the order the file dialog lists them.
struct CFormatRow
{
    EPictureFormat format;
    const char *name;
    const char *extensions[2];
    const char *qtFormat;
};

constexpr CFormatRow kFormats[] = {
    {EPictureFormat::Bmp, "BMP", {"bmp"}, "bmp"},
    {EPictureFormat::Jpeg, "JPEG", {"jpg", "jpeg"}, nullptr},
    {EPictureFormat::Ppm, "PPM", {"ppm"}, nullptr},
    {EPictureFormat::Png, "PNG", {"png"}, "png"},
    {EPictureFormat::Gif, "GIF", {"gif"}, "gif"},
    {EPictureFormat::Heif, "HEIF", {"heic", "heif"}, nullptr},
    {EPictureFormat::Avif, "AVIF", {"avif"}, nullptr},
    {EPictureFormat::WebP, "WebP", {"webp"}, "webp"},
    {EPictureFormat::Tiff, "TIFF", {"tif", "tiff"}, "tiff"},
    {EPictureFormat::Pgm, "PGM", {"pgm"}, "pgm"},
    {EPictureFormat::Pbm, "PBM", {"pbm"}, "pbm"},
};

const CFormatRow *RowOf(EPictureFormat format)
{
    for (const CFormatRow &row : kFormats) {
        if (row.format == format)
            return &row;
    }
    return nullptr;
}

// The extension is the file name's, from its last "." on, without the dot.
QString ExtensionOf(const QString &path)
{
    const QString name = QFileInfo(path).fileName();
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    return dot < 0 ? QString() : name.mid(dot + 1);
}

// An ISO base media file ("ftyp" box first) whose brands say HEIF or AVIF pictures.
EPictureFormat HeifFormatOfBrands(const QByteArray &head)
{
    if (head.size() < 16 || head.mid(4, 4) != "ftyp")
        return EPictureFormat::Unknown;
    const std::uint32_t boxSize = (std::uint32_t(uchar(head[0])) << 24) | (uchar(head[1]) << 16)
        | (uchar(head[2]) << 8) | uchar(head[3]);
    // The major brand, then the compatible brands (after four bytes of minor version).
    QList<QByteArray> brands{head.mid(8, 4)};
    for (qsizetype at = 16; at + 4 <= std::min<qsizetype>(head.size(), boxSize); at += 4)
        brands.append(head.mid(at, 4));
    for (const char *avif : {"avif", "avis"}) {
        if (brands.contains(avif))
            return EPictureFormat::Avif;
    }
    for (const char *heif : {"heic", "heix", "hevc", "hevx", "heim", "heis", "hevm", "hevs",
                             "mif1", "msf1"}) {
        if (brands.contains(heif))
            return EPictureFormat::Heif;
    }
    return EPictureFormat::Unknown;
}

} // namespace

EPictureLoaders LoadersFor(const QString &path)
{
    switch (PictureFormatOfName(path)) {
    case EPictureFormat::Jpeg:
        return EPictureLoaders::Jpeg;
    case EPictureFormat::Ppm:
        return EPictureLoaders::Ppm;
    case EPictureFormat::Bmp:
        return EPictureLoaders::Bmp;
    default:
        return EPictureLoaders::Any;
    }
}

bool LoadPicture(CRgbImage &image, const QString &path, std::int64_t maxPixels)
{
    switch (LoadersFor(path)) {
    case EPictureLoaders::Jpeg:
        return LoadJpeg(image, path, maxPixels);
    case EPictureLoaders::Ppm:
        return LoadPpm(image, path, maxPixels);
    case EPictureLoaders::Bmp:
        return LoadBmp(image, path, maxPixels);
    case EPictureLoaders::Any:
        break;
    }
    if (LoadJpeg(image, path, maxPixels) || LoadPpm(image, path, maxPixels)
        || LoadBmp(image, path, maxPixels))
        return true;
    // The rest by content: the formats with loaders of their own, then whatever Qt reads.
    switch (const EPictureFormat format = PictureFormatOfFile(path)) {
    case EPictureFormat::Png:
        return LoadPng(image, path, maxPixels);
    case EPictureFormat::Heif:
    case EPictureFormat::Avif:
        return LoadHeif(image, path, format, maxPixels);
    default:
        return LoadOtherPicture(image, path, maxPixels);
    }
}

std::unique_ptr<CPictureRows> OpenPictureRows(const QString &path, std::int64_t maxPixels,
                                              CLoadReport &report, bool &onlyChoice)
{
    const EPictureLoaders loaders = LoadersFor(path);
    onlyChoice = loaders == EPictureLoaders::Jpeg;
    const auto refused = [&report](EPictureFormat format, ELoadProblem problem, std::int64_t width,
                                   std::int64_t height) {
        if (problem == ELoadProblem::None)
            return;
        report.format = format;
        report.problem = problem;
        report.width = width;
        report.height = height;
    };
    if (loaders != EPictureLoaders::Jpeg && loaders != EPictureLoaders::Any)
        return nullptr;
    auto jpeg = std::make_unique<CJpegStream>(path, maxPixels);
    if (jpeg->IsOpen())
        return jpeg;
    refused(EPictureFormat::Jpeg, jpeg->Problem(), jpeg->HeaderWidth(), jpeg->HeaderHeight());
    // What LoadPicture tries after the JPEG loader, the PPM and bitmap loaders, refuses a PNG
    // before reading anything, so its rows are what loading it would decode.
    if (loaders == EPictureLoaders::Any && PictureFormatOfFile(path) == EPictureFormat::Png) {
        auto png = std::make_unique<CPngRows>(path, maxPixels);
        // An interlaced PNG is whole only at its end: it is loaded whole.
        if (png->IsOpen() && !png->WholeOnly())
            return png;
        refused(EPictureFormat::Png, png->Problem(), png->HeaderWidth(), png->HeaderHeight());
        onlyChoice = png->Problem() != ELoadProblem::None;
    }
    const EPictureFormat format = PictureFormatOfFile(path);
    if (loaders == EPictureLoaders::Any
        && (format == EPictureFormat::Heif || format == EPictureFormat::Avif)) {
        auto heif = std::make_unique<CHeifRows>(path, format, maxPixels);
        if (heif->IsOpen())
            return heif;
        refused(format, heif->Problem(), heif->HeaderWidth(), heif->HeaderHeight());
        report.detail = heif->UnsupportedWhy();
        onlyChoice = heif->Problem() != ELoadProblem::None;
    }
    return nullptr;
}

EPictureFormat PictureFormatOfContent(const QByteArray &head)
{
    const auto startsWith = [&head](qsizetype at, const char *bytes, qsizetype size) {
        return head.size() >= at + size && std::memcmp(head.constData() + at, bytes, std::size_t(size)) == 0;
    };
    if (startsWith(0, "\xFF\xD8\xFF", 3))
        return EPictureFormat::Jpeg;
    if (startsWith(0, "\x89PNG\r\n\x1A\n", 8))
        return EPictureFormat::Png;
    // "BM" alone starts many a text; a bitmap's info header has one of a few sizes.
    if (startsWith(0, "BM", 2) && head.size() >= 18) {
        constexpr std::uint32_t infoSizes[] = {12, 16, 40, 52, 56, 64, 108, 124};
        if (std::find(std::begin(infoSizes), std::end(infoSizes), LittleEndian(head, 14, 4))
            != std::end(infoSizes))
            return EPictureFormat::Bmp;
    }
    if (startsWith(0, "GIF87a", 6) || startsWith(0, "GIF89a", 6))
        return EPictureFormat::Gif;
    if (startsWith(0, "II*\0", 4) || startsWith(0, "MM\0*", 4))
        return EPictureFormat::Tiff;
    if (startsWith(0, "RIFF", 4) && startsWith(8, "WEBP", 4))
        return EPictureFormat::WebP;
    if (const EPictureFormat heif = HeifFormatOfBrands(head); heif != EPictureFormat::Unknown)
        return heif;
    // The PPM loader lets blanks and comments come before the "P".
    qsizetype at = 0;
    while (at < head.size()) {
        const char c = head[at];
        if (c == '#') {
            while (at < head.size() && head[at] != '\n' && head[at] != '\r')
                ++at;
        } else if (c == ' ' || c == '\t' || c == '\n' || c == '\r') {
            ++at;
        } else {
            break;
        }
    }
    if (at + 1 < head.size() && head[at] == 'P') {
        switch (head[at + 1]) {
        case '3':
        case '6':
            return EPictureFormat::Ppm;
        case '2':
        case '5':
            return EPictureFormat::Pgm;
        case '1':
        case '4':
            return EPictureFormat::Pbm;
        default:
            break;
        }
    }
    return EPictureFormat::Unknown;
}

EPictureFormat PictureFormatOfFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return EPictureFormat::Unknown;
    // Enough for every signature, and for a short comment before a PPM's "P".
    return PictureFormatOfContent(file.read(256));
}

EPictureFormat PictureFormatOfName(const QString &path)
{
    const QString extension = ExtensionOf(path);
    for (const CFormatRow &row : kFormats) {
        for (const char *wanted : row.extensions) {
            if (wanted && extension.compare(QLatin1String(wanted), Qt::CaseInsensitive) == 0)
                return row.format;
        }
    }
    return EPictureFormat::Unknown;
}

QString PictureFormatName(EPictureFormat format)
{
    const CFormatRow *row = RowOf(format);
    return row ? QLatin1String(row->name) : QString();
}

bool CanReadPictureFormat(EPictureFormat format, QString *why)
{
    const CFormatRow *row = RowOf(format);
    if (!row)
        return false;
    if (format == EPictureFormat::Heif || format == EPictureFormat::Avif)
        return CanDecodeHeif(format, why);
    if (row->qtFormat && !QImageReader::supportedImageFormats().contains(row->qtFormat)) {
        if (why)
            *why = Tr("this build cannot read %1 pictures (Qt's image-format plugin for them "
                      "is missing)").arg(QLatin1String(row->name));
        return false;
    }
    return true;
}

QStringList ReadablePictureExtensions()
{
    QStringList extensions;
    for (const CFormatRow &row : kFormats) {
        if (!CanReadPictureFormat(row.format, nullptr))
            continue;
        for (const char *extension : row.extensions) {
            if (extension)
                extensions.append(QLatin1String(extension));
        }
    }
    return extensions;
}

QString PictureFileFilter()
{
    QStringList patterns;
    for (const QString &extension : ReadablePictureExtensions())
        patterns.append(QStringLiteral("*.") + extension);
    return Tr("Image files (%1);;All files (*)").arg(patterns.join(QLatin1Char(' ')));
}

QString ReadablePictureFormatList()
{
    QStringList names;
    for (const CFormatRow &row : kFormats) {
        if (CanReadPictureFormat(row.format, nullptr))
            names.append(QLatin1String(row.name));
    }
    if (names.size() < 2)
        return names.join(QString());
    const QString last = names.takeLast();
    return Tr("%1 or %2").arg(names.join(QStringLiteral(", ")), last);
}

} // namespace quorvel

namespace quorvel {

QString PictureProblemText(const QString &path, const CLoadReport &report)
{
    const QString name = PictureFormatName(report.format);
    switch (report.problem) {
    case ELoadProblem::None:
        break;
    case ELoadProblem::Unsupported:
        return Tr("%1 picture, but %2.").arg(name, report.detail);
    case ELoadProblem::TooLarge:
        return Tr("the %1 picture is %2x%3 pixels, more than can be read (at most %4 "
                  "megapixels).")
            .arg(name).arg(report.width).arg(report.height).arg(kMaxPicturePixels / 1000000);
    case ELoadProblem::OutOfMemory:
        return Tr("not enough memory for the %1 picture (%2x%3 pixels).")
            .arg(name).arg(report.width).arg(report.height);
    case ELoadProblem::Damaged:
        return Tr("the %1 picture could not be read whole.").arg(name);
    }
    // No loader recognised the file: the name chose the loaders, and the file's first bytes
    // tell what it holds instead.
    const EPictureFormat named = PictureFormatOfName(path);
    const EPictureFormat found = PictureFormatOfFile(path);
    QString why;
    if (found == EPictureFormat::Unknown && named != EPictureFormat::Unknown)
        return Tr("not a %1 file.").arg(PictureFormatName(named));
    if (found == EPictureFormat::Unknown)
        return Tr("not a picture (%1 expected).").arg(ReadablePictureFormatList());
    if (named != EPictureFormat::Unknown && named != found)
        return Tr("not a %1 file; its content looks like %2.")
            .arg(PictureFormatName(named), PictureFormatName(found));
    if (!CanReadPictureFormat(found, &why))
        return Tr("%1 picture, but %2.").arg(PictureFormatName(found), why);
    return Tr("the %1 picture could not be read whole.").arg(PictureFormatName(found));
}

} // namespace quorvel
