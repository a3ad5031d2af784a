#include "image/PngRows.h"

#include "image/Exif.h"
#include "image/LoaderSupport.h"
#include "image/Loaders.h"
#include "image/RowBatches.h"
#include "platform/Logging.h"

#include <QFile>

#include <png.h>

#include <csetjmp>
#include <cstring>

namespace quorvel {

using loaders::Shown;

namespace {

constexpr unsigned char Signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
// The orientation lies in an eXIf chunk, before or after the pixels; the chunks are walked
// for it, but not without end in a file made of tiny chunks.
constexpr int MaxChunksWalked = 100000;
constexpr quint32 MaxExifBytes = 1 << 20;

quint32 BigEndian32(const char *bytes)
{
    return (quint32(uchar(bytes[0])) << 24) | (quint32(uchar(bytes[1])) << 16)
        | (quint32(uchar(bytes[2])) << 8) | quint32(uchar(bytes[3]));
}

// A PNG is the signature, then chunks: length (4 bytes, most significant first), type (4),
// data and a CRC (4). The orientation of the first eXIf chunk, wherever it stands.
EOrientation FindOrientation(QFile &file)
{
    qint64 at = 8;
    for (int i = 0; i < MaxChunksWalked && file.seek(at); ++i) {
        const QByteArray header = file.read(8);
        if (header.size() < 8)
            break;
        const quint32 length = BigEndian32(header.constData());
        const QByteArray type = header.mid(4, 4);
        if (type == "IEND")
            break;
        if (type == "eXIf" && length <= MaxExifBytes) {
            const QByteArray data = file.read(length);
            return ExifOrientation(reinterpret_cast<const std::uint8_t *>(data.constData()),
                                   std::size_t(data.size()));
        }
        at += 12 + qint64(length);
    }
    return EOrientation::Upright;
}

struct CPngError
{
    std::jmp_buf jump;
    char message[200] = {};
};

[[noreturn]] void OnError(png_structp png, png_const_charp message)
{
    auto *error = static_cast<CPngError *>(png_get_error_ptr(png));
    std::snprintf(error->message, sizeof error->message, "%s", message);
    std::longjmp(error->jump, 1);
}

// libpng's warnings (a damaged ancillary chunk, say) go to the log, never to the terminal.
void OnWarning(png_structp, png_const_charp message)
{
    qCDebug(lcImage) << "PNG: libpng warning:" << message;
}

void ReadFromFile(png_structp png, png_bytep data, png_size_t length)
{
    auto *file = static_cast<QFile *>(png_get_io_ptr(png));
    if (file->read(reinterpret_cast<char *>(data), qint64(length)) != qint64(length))
        png_error(png, "the file ends early");
}

} // namespace

// Every step that may fail catches libpng's long jump itself and holds nothing that would need
// destroying.
struct CPngRows::CState
{
    explicit CState(const QString &path) : file(path) {}
    ~CState() { png_destroy_read_struct(&png, &info, nullptr); }

    bool ReadHeader()
    {
        png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &error, OnError, OnWarning);
        if (!png)
            return false;
        if (setjmp(error.jump))
            return false;
        info = png_create_info_struct(png);
        if (!info)
            png_error(png, "no memory for the header");
        png_set_read_fn(png, &file, ReadFromFile);
        png_read_info(png, info);
        grey = (png_get_color_type(png, info) & PNG_COLOR_MASK_COLOR) == 0;
        png_charp name = nullptr;
        int compression = 0;
        png_bytep data = nullptr;
        png_uint_32 length = 0;
        if (png_get_iCCP(png, info, &name, &compression, &data, &length) && data)
            profile = QByteArray(reinterpret_cast<const char *>(data), qsizetype(length));
        // Whatever is stored becomes 8-bit red, green and blue: palettes and grey expanded, 16
        // bits scaled to 8, alpha dropped and the colours kept as they stand.
        png_set_expand(png);
        png_set_scale_16(png);
        png_set_strip_alpha(png);
        png_set_gray_to_rgb(png);
        passes = png_set_interlace_handling(png);
        png_read_update_info(png, info);
        if (png_get_rowbytes(png, info) != png_get_image_width(png, info) * 3)
            png_error(png, "unexpected row layout");
        return true;
    }

    bool ReadRow(png_bytep row)
    {
        if (setjmp(error.jump))
            return false;
        png_read_row(png, row, nullptr);
        return true;
    }

    bool ReadEnd()
    {
        if (setjmp(error.jump))
            return false;
        png_read_end(png, nullptr);
        return true;
    }

    QFile file;
    CPngError error;
    png_structp png = nullptr;
    png_infop info = nullptr;
    int passes = 1;
    bool grey = false;
    QByteArray profile; // of the iCCP chunk
};

CPngRows::CPngRows(const QString &path, std::int64_t maxPixels)
    : CPictureRows(EPictureFormat::Png), m_state(std::make_unique<CState>(path))
{
    QFile &file = m_state->file;
    if (!file.open(QIODevice::ReadOnly)) {
        qCDebug(lcImage) << "PNG:" << Shown(path) << "cannot be opened:" << file.errorString();
        return;
    }
    if (file.peek(8) != QByteArray(reinterpret_cast<const char *>(Signature), 8))
        return;
    const EOrientation orientation = FindOrientation(file);
    if (!file.seek(0) || !m_state->ReadHeader()) {
        qCDebug(lcImage) << "PNG:" << Shown(path) << "has no header libpng reads:"
                         << m_state->error.message;
        m_problem = ELoadProblem::Damaged;
        return;
    }
    m_headerWidth = png_get_image_width(m_state->png, m_state->info);
    m_headerHeight = png_get_image_height(m_state->png, m_state->info);
    if (m_headerWidth * m_headerHeight > maxPixels) {
        qCDebug(lcImage) << "PNG refused: size" << m_headerWidth << "x" << m_headerHeight;
        m_problem = ELoadProblem::TooLarge;
        return;
    }
    m_width = int(m_headerWidth);
    m_height = int(m_headerHeight);
    m_orientation = orientation;
    m_colours = CColourConverter(m_state->profile,
                                 m_state->grey ? EColourInput::GreyInRgb : EColourInput::Rgb);
    m_notes = m_colours.Notes();
    m_open = true;
}

CPngRows::~CPngRows() = default;

bool CPngRows::WholeOnly() const
{
    return m_open && m_state->passes > 1;
}

bool CPngRows::Start()
{
    if (!m_open)
        return false;
    // Decoding and converting go on side by side.
    if (!WholeOnly())
        m_batches = CRowBatches::StartFor(m_colours, m_width, m_height, StoredRows());
    return true;
}

int CPngRows::ReadStoredRows(std::uint8_t *const *rows, int count)
{
    int done = 0;
    for (; done < count && m_rowsDone < m_height; ++done, ++m_rowsDone) {
        if (!m_state->ReadRow(rows[done]))
            return -1;
    }
    return done;
}

CRowBatches::CDecode CPngRows::StoredRows()
{
    return [this](std::uint8_t *const *rows, int count) { return ReadStoredRows(rows, count); };
}

int CPngRows::ReadRows(std::uint8_t *const *rows, int count)
{
    if (!m_open || WholeOnly())
        return -1;
    return CRowBatches::ReadRows(m_batches.get(), m_colours, m_width, rows, count, StoredRows());
}

bool CPngRows::ReadWhole(std::uint8_t *pixels)
{
    if (!m_open)
        return false;
    const std::size_t rowBytes = std::size_t(m_width) * 3;
    for (int pass = 0; pass < m_state->passes; ++pass) {
        for (int y = 0; y < m_height; ++y) {
            if (!m_state->ReadRow(pixels + std::size_t(y) * rowBytes))
                return false;
        }
    }
    for (int y = 0; y < m_height; ++y)
        m_colours.Convert(pixels + std::size_t(y) * rowBytes, pixels + std::size_t(y) * rowBytes, m_width);
    m_rowsDone = m_height;
    return true;
}

int CPngRows::RowsDone() const
{
    return m_batches ? m_batches->RowsDone() : m_rowsDone;
}

bool CPngRows::Finish()
{
    if (m_batches)
        m_batches->Stop();
    return m_open && m_rowsDone == m_height && m_state->ReadEnd();
}

QString CPngRows::Message() const
{
    return QString::fromLocal8Bit(m_state->error.message);
}

bool LoadPng(CRgbImage &image, const QString &path, std::int64_t maxPixels)
{
    CPngRows rows(path, maxPixels);
    return DecodeRows(image, rows, maxPixels);
}

} // namespace quorvel
