#include "image/FaceCutter.h"

#include "image/HilbertDither.h"
#include "image/Loaders.h"
#include "image/PaletteImage.h"
#include "image/Resample.h"
#include "platform/Logging.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <limits>
#include <memory>
#include <new>
#include <variant>

#include <jpeglib.h>
#include <jerror.h>
#include <turbojpeg.h>

namespace quorvel {

namespace {

constexpr std::size_t SourceBufferSize = 64 * 1024;
// Progressive files built to take forever are refused after this many scans, as the
// whole-picture loader refuses them.
constexpr int MaxScans = 500;
constexpr int MaxRowsPerRead = 16;
constexpr int RowBufferPixels = 1 << 20;

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

// One decode of a JPEG file through libjpeg, with TurboJPEG's default settings so that the
// pixels equal the whole-picture loader's. Every step that may fail is a member that catches
// libjpeg's long jump itself and holds nothing that would need destroying.
class CJpegStream
{
public:
    explicit CJpegStream(QFile &file) : m_buffer(SourceBufferSize)
    {
        m_source.file = &file;
        m_source.buffer = m_buffer.data();
        m_error.message[0] = '\0';
    }
    ~CJpegStream() { jpeg_destroy_decompress(&m_info); }

    CJpegStream(const CJpegStream &) = delete;
    CJpegStream &operator=(const CJpegStream &) = delete;

    bool ReadHeader()
    {
        m_info.err = jpeg_std_error(&m_error.pub);
        m_error.pub.error_exit = ErrorExit;
        m_error.pub.emit_message = EmitMessage;
        m_error.pub.output_message = OutputMessage;
        if (setjmp(m_error.jump))
            return false;
        jpeg_create_decompress(&m_info);
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
        if (jpeg_read_header(&m_info, TRUE) != JPEG_HEADER_OK) {
            std::snprintf(m_error.message, JMSG_LENGTH_MAX, "no picture in the file");
            return false;
        }
        return true;
    }

    bool Start()
    {
        if (setjmp(m_error.jump))
            return false;
        m_info.out_color_space = JCS_EXT_RGB;
        m_info.dct_method = JDCT_ISLOW;
        m_info.do_fancy_upsampling = TRUE;
        jpeg_start_decompress(&m_info);
        if (m_info.output_width != m_info.image_width || m_info.output_components != 3) {
            std::snprintf(m_error.message, JMSG_LENGTH_MAX, "unexpected output format");
            return false;
        }
        return true;
    }

    // The next rows, at most count of them, into rows; -1 on failure.
    int ReadRows(JSAMPROW *rows, int count)
    {
        if (setjmp(m_error.jump))
            return -1;
        return int(jpeg_read_scanlines(&m_info, rows, JDIMENSION(count)));
    }

    bool Finish()
    {
        if (setjmp(m_error.jump))
            return false;
        jpeg_finish_decompress(&m_info);
        return true;
    }

    int Width() const { return int(m_info.image_width); }
    int Height() const { return int(m_info.image_height); }
    int RowsDone() const { return int(m_info.output_scanline); }
    const char *Message() const { return m_error.message; }

private:
    jpeg_decompress_struct m_info{};
    CErrorManager m_error{};
    CSourceManager m_source{};
    jpeg_progress_mgr m_progress{};
    std::vector<JOCTET> m_buffer;
};

QString Shown(const QString &path)
{
    return QFileInfo(path).fileName();
}

// The whole-picture loader refuses some headers that libjpeg itself reads (sampling layouts
// it has no name for). Asking its decoder about the file's first bytes keeps both paths
// refusing the same files; the prefix grows until the header fits in it.
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

// Opens a JPEG file and reads its header; false (logged) when it is none or is refused.
bool OpenJpeg(QFile &file, CJpegStream &stream, std::int64_t maxPixels)
{
    if (!file.open(QIODevice::ReadOnly)) {
        qCDebug(lcImage) << "JPEG:" << Shown(file.fileName()) << "cannot be opened:"
                         << file.errorString();
        return false;
    }
    if (file.size() > kMaxJpegFileBytes) {
        qCDebug(lcImage) << "JPEG:" << Shown(file.fileName()) << "refused: the file is"
                         << file.size() << "bytes";
        return false;
    }
    if (!WholeLoaderAcceptsHeader(file)) {
        qCDebug(lcImage) << "JPEG:" << Shown(file.fileName()) << "has no header the loader reads";
        return false;
    }
    if (!stream.ReadHeader()) {
        qCDebug(lcImage) << "JPEG: no header:" << stream.Message();
        return false;
    }
    const std::int64_t width = stream.Width(), height = stream.Height();
    if (width < 1 || height < 1 || width * height > maxPixels) {
        qCDebug(lcImage) << "JPEG refused: size" << width << "x" << height;
        return false;
    }
    return true;
}

// Where one face's intermediate picture is made from the rows going by.
using CRowSink = std::variant<CAreaResampler, CBlockCopier>;

} // namespace

CFaceCutter::CFaceCutter(const QString &path, std::int64_t maxPixels)
    : m_path(path), m_maxPixels(maxPixels)
{
    const EPictureLoaders loaders = LoadersFor(path);
    m_jpegOnly = loaders == EPictureLoaders::Jpeg;
    if (loaders == EPictureLoaders::Jpeg || loaders == EPictureLoaders::Any) {
        QFile file(path);
        CJpegStream stream(file);
        if (OpenJpeg(file, stream, maxPixels)) {
            m_open = m_streaming = true;
            m_width = stream.Width();
            m_height = stream.Height();
            return;
        }
        if (m_jpegOnly)
            return;
    }
    LoadWhole();
}

CFaceCutter::~CFaceCutter() = default;

bool CFaceCutter::LoadWhole()
{
    m_streaming = false;
    m_picture = std::make_unique<CRgbImage>(m_path, m_maxPixels);
    m_open = m_picture->IsLoaded();
    m_width = m_open ? m_picture->Width() : 0;
    m_height = m_open ? m_picture->Height() : 0;
    if (!m_open)
        m_picture.reset();
    return m_open;
}

bool CFaceCutter::Cut(const std::vector<CFaceCut> &cuts,
                      std::vector<std::unique_ptr<CPaletteImage>> &faces)
{
    faces.clear();
    if (!m_open)
        return false;
    if (m_streaming) {
        if (CutWhileDecoding(cuts, faces))
            return true;
        faces.clear();
        // Bad data in a file that other loaders may still read: let them try, as loading
        // the picture would have.
        if (m_jpegOnly || !LoadWhole())
            return false;
    }
    for (const CFaceCut &cut : cuts)
        faces.push_back(m_picture->CropToPaletteImage(cut.x1, cut.y1, cut.x2, cut.y2, cut.tw, cut.th));
    return true;
}

bool CFaceCutter::CutWhileDecoding(const std::vector<CFaceCut> &cuts,
                                   std::vector<std::unique_ptr<CPaletteImage>> &faces)
{
    QFile file(m_path);
    CJpegStream stream(file);
    if (!OpenJpeg(file, stream, m_maxPixels) || stream.Width() != m_width
        || stream.Height() != m_height) {
        qCDebug(lcImage) << "JPEG:" << Shown(m_path) << "changed since it was opened";
        return false;
    }

    // Each face's intermediate picture, black, and what fills it; null where
    // CropToPaletteImage would give null.
    std::vector<std::unique_ptr<CRgbImage>> intermediates(cuts.size());
    std::vector<CRowSink> sinks;
    std::vector<JSAMPLE> rows;
    // A few rows per call, fewer for a very wide picture.
    const int rowsPerRead = std::clamp(RowBufferPixels / m_width, 1, MaxRowsPerRead);
    try {
        for (std::size_t i = 0; i < cuts.size(); ++i) {
            const CFaceCut &cut = cuts[i];
            CCropPlan plan;
            if (!PlanCrop(m_width, m_height, cut.x1, cut.y1, cut.x2, cut.y2, cut.tw, cut.th, plan))
                continue;
            auto picture = std::make_unique<CRgbImage>(0, 0);
            if (plan.width > 0 && plan.height > 0
                && !picture->Reset(plan.width, plan.height, std::numeric_limits<std::int64_t>::max()))
                continue;
            if (plan.width == 0 || plan.height == 0)
                picture = std::make_unique<CRgbImage>(plan.width, plan.height);
            if (plan.sourceWidth < 0 || plan.sourceHeight < 0)
                sinks.emplace_back(std::in_place_type<CBlockCopier>, m_width, m_height, plan.x,
                                   plan.y, picture->Pixels(), plan.width, plan.height);
            else
                sinks.emplace_back(std::in_place_type<CAreaResampler>, m_width, m_height, plan.x,
                                   plan.y, plan.sourceWidth, plan.sourceHeight, picture->Pixels(),
                                   plan.width, plan.height);
            intermediates[i] = std::move(picture);
        }
        rows.resize(std::size_t(m_width) * 3 * std::size_t(rowsPerRead));
    } catch (const std::bad_alloc &) {
        qCDebug(lcImage) << "JPEG: not enough memory to cut faces from" << Shown(m_path);
        return false;
    }

    if (!stream.Start()) {
        qCDebug(lcImage) << "JPEG: bad picture data:" << stream.Message();
        return false;
    }
    JSAMPROW rowPointers[MaxRowsPerRead];
    for (int i = 0; i < rowsPerRead; ++i)
        rowPointers[i] = rows.data() + std::size_t(i) * std::size_t(m_width) * 3;
    while (stream.RowsDone() < m_height) {
        const int first = stream.RowsDone();
        const int got = stream.ReadRows(rowPointers, std::min(rowsPerRead, m_height - first));
        if (got <= 0) {
            qCDebug(lcImage) << "JPEG: bad picture data:" << stream.Message();
            return false;
        }
        for (int r = 0; r < got; ++r) {
            const int y = first + r;
            const auto *row = reinterpret_cast<const CRgbTriple *>(rowPointers[r]);
            for (CRowSink &sink : sinks) {
                std::visit([&](auto &s) {
                    if (y >= s.FirstRow() && y < s.EndRow())
                        s.AddRow(y, row);
                }, sink);
            }
        }
    }
    if (!stream.Finish()) {
        qCDebug(lcImage) << "JPEG: bad picture data:" << stream.Message();
        return false;
    }

    faces.resize(cuts.size());
    for (std::size_t i = 0; i < cuts.size(); ++i) {
        if (!intermediates[i])
            continue;
        try {
            faces[i] = std::make_unique<CPaletteImage>(*intermediates[i]);
        } catch (const std::bad_alloc &) {
            // As CropToPaletteImage: a face that memory does not allow is null.
        }
    }
    return true;
}

} // namespace quorvel
