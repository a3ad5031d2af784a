#include "image/JpegStream.h"

#include "image/ColourProfile.h"
#include "image/Exif.h"
#include "image/JpegCoefficients.h"
#include "image/JpegTallChroma.h"
#include "image/Loaders.h"
#include "image/RowBatches.h"
#include "platform/LargeBuffer.h"
#include "platform/Logging.h"

#include <QFileInfo>

#include <algorithm>
#include <csetjmp>
#include <cstdlib>
#include <cstring>
#include <cstdio>
#include <deque>
#include <memory>
#include <new>
#include <vector>

#include <jpeglib.h>
#include <jerror.h>
#include <turbojpeg.h>

namespace quorvel {

namespace {

constexpr std::size_t SourceBufferSize = 64 * 1024;
// Progressive files built to take forever are refused after this many scans, as the
// whole-picture loader refuses them.
constexpr int MaxScans = 500;

struct CErrorManager
{
    jpeg_error_mgr pub; // first, so that libjpeg's pointer is ours
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
};

struct CSourceManager
{
    jpeg_source_mgr pub;
    QFile *file;
    JOCTET *buffer;
};

[[noreturn]] void Fail(j_common_ptr info)
{
    std::longjmp(reinterpret_cast<CErrorManager *>(info->err)->jump, 1);
}

void ErrorExit(j_common_ptr info)
{
    (*info->err->format_message)(info, reinterpret_cast<CErrorManager *>(info->err)->message);
    Fail(info);
}

// A warning means damaged data (a file cut short, a corrupt scan); the whole-picture loader
// refuses such a picture, so the decode stops at the first.
void EmitMessage(j_common_ptr info, int level)
{
    if (level < 0)
        ErrorExit(info);
}

// Messages are logged by the caller, never printed.
void OutputMessage(j_common_ptr) {}

void ProgressMonitor(j_common_ptr info)
{
    if (info->is_decompressor
        && reinterpret_cast<j_decompress_ptr>(info)->input_scan_number > MaxScans) {
        std::snprintf(reinterpret_cast<CErrorManager *>(info->err)->message, JMSG_LENGTH_MAX,
                      "more than %d progressive scans", MaxScans);
        Fail(info);
    }
}

void InitSource(j_decompress_ptr) {}
void TermSource(j_decompress_ptr) {}

boolean FillInputBuffer(j_decompress_ptr info)
{
    auto *source = reinterpret_cast<CSourceManager *>(info->src);
    qint64 got = source->file->read(reinterpret_cast<char *>(source->buffer), SourceBufferSize);
    if (got <= 0) {
        // As libjpeg's own sources do: warn (which fails the picture here) and end the data.
        WARNMS(info, JWRN_JPEG_EOF);
        source->buffer[0] = JOCTET(0xFF);
        source->buffer[1] = JOCTET(JPEG_EOI);
        got = 2;
    }
    source->pub.next_input_byte = source->buffer;
    source->pub.bytes_in_buffer = std::size_t(got);
    return TRUE;
}

void SkipInputData(j_decompress_ptr info, long count)
{
    if (count <= 0)
        return;
    jpeg_source_mgr *source = info->src;
    while (std::size_t(count) > source->bytes_in_buffer) {
        count -= long(source->bytes_in_buffer);
        FillInputBuffer(info);
    }
    source->next_input_byte += count;
    source->bytes_in_buffer -= std::size_t(count);
}

} // namespace

// One decode of a JPEG file through libjpeg, with TurboJPEG's default settings. Every step
// that may fail is a member that catches libjpeg's long jump itself and holds nothing that
// would need destroying.
struct CJpegStream::CState
{
    explicit CState(const QString &path) : m_file(path), m_buffer(SourceBufferSize)
    {
        m_source.file = &m_file;
        m_source.buffer = m_buffer.data();
        m_error.message[0] = '\0';
    }
    ~CState() { jpeg_destroy_decompress(&m_info); }

    bool ReadHeader()
    {
        m_info.err = jpeg_std_error(&m_error.pub);
        m_error.pub.error_exit = ErrorExit;
        m_error.pub.emit_message = EmitMessage;
        m_error.pub.output_message = OutputMessage;
        if (setjmp(m_error.jump))
            return false;
        jpeg_create_decompress(&m_info);
        m_coefficients.Install(&m_info);
        m_source.pub.init_source = InitSource;
        m_source.pub.fill_input_buffer = FillInputBuffer;
        m_source.pub.skip_input_data = SkipInputData;
        m_source.pub.resync_to_restart = jpeg_resync_to_restart;
        m_source.pub.term_source = TermSource;
        m_source.pub.bytes_in_buffer = 0;
        m_source.pub.next_input_byte = nullptr;
        m_info.src = &m_source.pub;
        m_progress.progress_monitor = ProgressMonitor;
        m_info.progress = &m_progress;
        // The EXIF block, for the orientation, and the colour profile.
        jpeg_save_markers(&m_info, JPEG_APP0 + 1, 0xFFFF);
        jpeg_save_markers(&m_info, JPEG_APP0 + 2, 0xFFFF);
        if (jpeg_read_header(&m_info, TRUE) != JPEG_HEADER_OK) {
            std::snprintf(m_error.message, JMSG_LENGTH_MAX, "no picture in the file");
            return false;
        }
        return true;
    }

    // CMYK and YCCK pictures are decoded to CMYK, inverted when Adobe's APP14 marker says
    // so, and converted to sRGB here; others are decoded to RGB.
    bool IsCmyk() const
    {
        return m_info.jpeg_color_space == JCS_CMYK || m_info.jpeg_color_space == JCS_YCCK;
    }

    EColourInput ColourInput() const
    {
        if (IsCmyk())
            return m_info.saw_Adobe_marker ? EColourInput::InvertedCmyk : EColourInput::Cmyk;
        return m_info.jpeg_color_space == JCS_GRAYSCALE ? EColourInput::GreyInRgb
                                                        : EColourInput::Rgb;
    }

    // The ICC profile of the APP2 segments, put together in their order; empty for none.
    QByteArray Profile()
    {
        if (setjmp(m_error.jump))
            return {};
        JOCTET *data = nullptr;
        unsigned int length = 0;
        if (!jpeg_read_icc_profile(&m_info, &data, &length))
            return {};
        QByteArray profile(reinterpret_cast<const char *>(data), qsizetype(length));
        std::free(data);
        return profile;
    }

    bool Start()
    {
        m_started = true;
        if (setjmp(m_error.jump))
            return false;
        // A picture decoded small is upsampled by libjpeg itself.
        const bool tall = !m_scaled && !m_luma && !IsCmyk() && jpeg::CTallChromaRows::Fits(m_info);
        m_info.out_color_space = m_luma  ? JCS_GRAYSCALE
                                 : IsCmyk() ? JCS_CMYK
                                 : tall     ? JCS_YCbCr
                                            : JCS_EXT_RGB;
        m_info.raw_data_out = tall ? TRUE : FALSE;
        m_info.dct_method = JDCT_ISLOW;
        m_info.do_fancy_upsampling = TRUE;
        jpeg_start_decompress(&m_info);
        // Without buffered output, starting reads every scan of a progressive file.
        m_coefficients.BeginOutput();
        if (m_info.output_width != (m_scaled ? m_scaledWidth : m_info.image_width)
            || m_info.output_components != (m_luma ? 1 : IsCmyk() ? 4 : 3)) {
            std::snprintf(m_error.message, JMSG_LENGTH_MAX, "unexpected output format");
            return false;
        }
        if (tall) {
            m_tall = std::make_unique<jpeg::CTallChromaRows>();
            if (!m_tall->Begin(m_info, [this](JSAMPIMAGE planes) { return ReadRaw(planes); })) {
                std::snprintf(m_error.message, JMSG_LENGTH_MAX, "no memory for the rows");
                return false;
            }
        }
        return true;
    }

    // Decoding at 1/denominator of the size, which the output's size then is.
    bool ScaleDown(int denominator)
    {
        if (setjmp(m_error.jump))
            return false;
        m_info.scale_num = 1;
        m_info.scale_denom = unsigned(denominator);
        jpeg_calc_output_dimensions(&m_info);
        m_scaled = true;
        m_scaledWidth = m_info.output_width;
        m_scaledHeight = m_info.output_height;
        return true;
    }

    // The next rows, at most count of them, into rows; -1 on failure.
    int ReadRows(JSAMPARRAY rows, int count)
    {
        if (m_tall)
            return m_tall->ReadRows(rows, count);
        if (setjmp(m_error.jump))
            return -1;
        return int(jpeg_read_scanlines(&m_info, rows, JDIMENSION(count)));
    }

    // The next row of blocks as raw samples; -1 on failure.
    int ReadRaw(JSAMPIMAGE planes)
    {
        if (setjmp(m_error.jump))
            return -1;
        return int(jpeg_read_raw_data(&m_info, planes, JDIMENSION(m_info.max_v_samp_factor * DCTSIZE)));
    }

    bool Finish()
    {
        if (setjmp(m_error.jump))
            return false;
        jpeg_finish_decompress(&m_info);
        return true;
    }

    // The orientation of the first APP1 segment that holds an EXIF block.
    EOrientation Orientation() const
    {
        for (jpeg_saved_marker_ptr marker = m_info.marker_list; marker; marker = marker->next) {
            if (marker->marker == JPEG_APP0 + 1 && marker->data_length >= 6
                && std::memcmp(marker->data, "Exif\0\0", 6) == 0)
                return ExifOrientation(marker->data, marker->data_length);
        }
        return EOrientation::Upright;
    }

    int Width() const { return int(m_scaled ? m_scaledWidth : m_info.image_width); }
    int Height() const { return int(m_scaled ? m_scaledHeight : m_info.image_height); }
    int RowsDone() const { return m_tall ? m_tall->RowsDone() : int(m_info.output_scanline); }
    const char *Message() const { return m_error.message; }

    QFile m_file;
    // Destroyed after the decoder (see ~CState), which holds pointers into it.
    jpeg::CCoefficientStore m_coefficients;
    jpeg_decompress_struct m_info{};
    CErrorManager m_error{};
    CSourceManager m_source{};
    jpeg_progress_mgr m_progress{};
    std::vector<JOCTET> m_buffer;
    std::unique_ptr<jpeg::CTallChromaRows> m_tall; // for 4:4:0 pictures, read raw
    bool m_luma = false; // the brightness alone, one byte a pixel
    bool m_started = false;
    bool m_scaled = false;
    JDIMENSION m_scaledWidth = 0;
    JDIMENSION m_scaledHeight = 0;
};

namespace {

QString Shown(const QString &path)
{
    return QFileInfo(path).fileName();
}

// TurboJPEG, which decodes pictures held in memory, refuses some headers that libjpeg itself
// reads (sampling layouts it has no name for). Asking it about the file's first bytes keeps
// every way of reading a JPEG refusing the same files; the prefix grows until the header fits.
bool WholeLoaderAcceptsHeader(QFile &file)
{
    std::unique_ptr<void, decltype(&tjDestroy)> decoder(tjInitDecompress(), &tjDestroy);
    if (!decoder)
        return false;
    const qint64 size = file.size();
    QByteArray prefix;
    for (qint64 length = 64 * 1024;; length *= 4) {
        length = std::min(length, size);
        if (!file.seek(0))
            return false;
        prefix = file.read(length);
        if (prefix.size() != length)
            return false;
        int width = 0, height = 0, subsampling = 0, colourspace = 0;
        if (tjDecompressHeader3(decoder.get(), reinterpret_cast<const unsigned char *>(prefix.constData()),
                                static_cast<unsigned long>(prefix.size()), &width, &height,
                                &subsampling, &colourspace) == 0) {
            return file.seek(0);
        }
        if (length == size)
            return false;
    }
}

// Opens a JPEG file and reads its header; false (logged) when it is none or is refused, with
// the problem set for a file that begins as a JPEG.
bool OpenJpeg(QFile &file, CJpegStream::CState &stream, std::int64_t maxPixels,
              ELoadProblem &problem, std::int64_t &width, std::int64_t &height)
{
    if (!file.open(QIODevice::ReadOnly)) {
        qCDebug(lcImage) << "JPEG:" << Shown(file.fileName()) << "cannot be opened:"
                         << file.errorString();
        return false;
    }
    const bool looksLikeJpeg = file.peek(3) == QByteArray("\xFF\xD8\xFF", 3);
    if (file.size() > kMaxJpegFileBytes) {
        qCDebug(lcImage) << "JPEG:" << Shown(file.fileName()) << "refused: the file is"
                         << file.size() << "bytes";
        if (looksLikeJpeg)
            problem = ELoadProblem::TooLarge;
        return false;
    }
    if (!WholeLoaderAcceptsHeader(file) || !stream.ReadHeader()) {
        qCDebug(lcImage) << "JPEG:" << Shown(file.fileName()) << "has no header the loader reads:"
                         << stream.Message();
        if (looksLikeJpeg)
            problem = ELoadProblem::Damaged;
        return false;
    }
    width = stream.Width();
    height = stream.Height();
    if (width < 1 || height < 1 || width * height > maxPixels) {
        qCDebug(lcImage) << "JPEG refused: size" << width << "x" << height;
        problem = width < 1 || height < 1 ? ELoadProblem::Damaged : ELoadProblem::TooLarge;
        return false;
    }
    return true;
}

} // namespace

CJpegStream::CJpegStream(const QString &path, std::int64_t maxPixels)
    : CPictureRows(EPictureFormat::Jpeg), m_state(std::make_unique<CState>(path))
{
    m_open = OpenJpeg(m_state->m_file, *m_state, maxPixels, m_problem, m_headerWidth,
                      m_headerHeight);
    if (m_open) {
        m_width = m_state->Width();
        m_height = m_state->Height();
        m_orientation = m_state->Orientation();
        m_colours = std::make_unique<CColourConverter>(m_state->Profile(), m_state->ColourInput());
        m_notes = m_colours->Notes();
    }
}

CJpegStream::~CJpegStream() = default;

bool CJpegStream::ScaleDown(int denominator)
{
    if (!m_open || m_batches || (denominator != 2 && denominator != 4 && denominator != 8)
        || !m_state->ScaleDown(denominator))
        return false;
    m_width = m_state->Width();
    m_height = m_state->Height();
    return true;
}

bool CJpegStream::DecodeLuma()
{
    if (!m_open || m_state->m_started || m_state->IsCmyk())
        return false;
    m_state->m_luma = true;
    return true;
}

bool CJpegStream::Start()
{
    if (!m_open || !m_state->Start())
        return false;
    if (m_state->m_luma)
        return true;
    // Converting takes about as long as decoding: the two go on side by side.
    m_batches = CRowBatches::StartFor(*m_colours, m_width, m_height,
        [state = m_state.get()](std::uint8_t *const *rows, int count) {
            return state->ReadRows(const_cast<JSAMPARRAY>(rows), count);
        });
    return true;
}

int CJpegStream::ReadRows(std::uint8_t *const *rows, int count)
{
    if (!m_open)
        return -1;
    if (m_batches)
        return m_batches->ReadRows(rows, count);
    if (m_state->m_luma) {
        // Each row spread from its first third, from the right, to grey in red, green and blue.
        const int got = m_state->ReadRows(const_cast<JSAMPARRAY>(rows), count);
        for (int i = 0; i < got; ++i) {
            std::uint8_t *row = rows[i];
            for (int x = m_width - 1; x >= 0; --x)
                row[3 * x] = row[3 * x + 1] = row[3 * x + 2] = row[x];
        }
        return got;
    }
    if (!m_colours->Converts())
        return m_state->ReadRows(const_cast<JSAMPARRAY>(rows), count);
    const std::size_t width = std::size_t(m_width);
    if (m_colours->InputBytes() == 3) {
        const int got = m_state->ReadRows(const_cast<JSAMPARRAY>(rows), count);
        for (int i = 0; i < got; ++i)
            m_colours->Convert(rows[i], rows[i], m_width);
        return got;
    }
    // CMYK rows go through a buffer of their own, four bytes a pixel.
    constexpr int MaxRows = 16;
    count = std::min(count, MaxRows);
    try {
        m_cmyk.resize(width * 4 * MaxRows);
    } catch (const std::bad_alloc &) {
        return -1;
    }
    JSAMPROW cmykRows[MaxRows];
    for (int i = 0; i < count; ++i)
        cmykRows[i] = m_cmyk.data() + std::size_t(i) * width * 4;
    const int got = m_state->ReadRows(cmykRows, count);
    for (int i = 0; i < got; ++i)
        m_colours->Convert(cmykRows[i], rows[i], m_width);
    return got;
}

int CJpegStream::RowsDone() const
{
    if (m_batches)
        return m_batches->RowsDone();
    return m_open ? m_state->RowsDone() : 0;
}

bool CJpegStream::Finish()
{
    if (m_batches)
        m_batches->Stop();
    return m_open && m_state->Finish();
}

QString CJpegStream::Message() const
{
    return QString::fromLocal8Bit(m_state->Message());
}

} // namespace quorvel
