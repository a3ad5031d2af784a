#include "image/HeifRows.h"

#include "image/LoaderSupport.h"
#include "image/Loaders.h"
#include "image/RowBatches.h"
#include "platform/Logging.h"

#include <QCoreApplication>
#include <QFile>
#include <QLibrary>

#include <libheif/heif.h>

#include <cstring>
#include <mutex>

namespace quorvel {

using loaders::Refuse;
using loaders::Shown;

namespace {

// libheif is loaded with the first HEIF or AVIF picture, not with the program: it and its
// codecs hold about 2 MB resident, which every other picture and command would pay for. The
// package depends on it by name, as the linker no longer records it.
struct CHeifApi
{
    decltype(&heif_context_alloc) context_alloc = nullptr;
    decltype(&heif_context_free) context_free = nullptr;
    decltype(&heif_context_get_primary_image_handle) context_get_primary_image_handle = nullptr;
    decltype(&heif_context_read_from_file) context_read_from_file = nullptr;
    decltype(&heif_decode_image) decode_image = nullptr;
    decltype(&heif_decoding_options_alloc) decoding_options_alloc = nullptr;
    decltype(&heif_decoding_options_free) decoding_options_free = nullptr;
    decltype(&heif_have_decoder_for_format) have_decoder_for_format = nullptr;
    decltype(&heif_image_get_bits_per_pixel) image_get_bits_per_pixel = nullptr;
    decltype(&heif_image_get_height) image_get_height = nullptr;
    decltype(&heif_image_get_plane_readonly) image_get_plane_readonly = nullptr;
    decltype(&heif_image_get_width) image_get_width = nullptr;
    decltype(&heif_image_handle_get_chroma_bits_per_pixel) image_handle_get_chroma_bits_per_pixel = nullptr;
    decltype(&heif_image_handle_get_color_profile_type) image_handle_get_color_profile_type = nullptr;
    decltype(&heif_image_handle_get_height) image_handle_get_height = nullptr;
    decltype(&heif_image_handle_get_luma_bits_per_pixel) image_handle_get_luma_bits_per_pixel = nullptr;
    decltype(&heif_image_handle_get_nclx_color_profile) image_handle_get_nclx_color_profile = nullptr;
    decltype(&heif_image_handle_get_raw_color_profile) image_handle_get_raw_color_profile = nullptr;
    decltype(&heif_image_handle_get_raw_color_profile_size) image_handle_get_raw_color_profile_size = nullptr;
    decltype(&heif_image_handle_get_width) image_handle_get_width = nullptr;
    decltype(&heif_image_handle_release) image_handle_release = nullptr;
    decltype(&heif_image_release) image_release = nullptr;
    decltype(&heif_init) init = nullptr;
    decltype(&heif_nclx_color_profile_free) nclx_color_profile_free = nullptr;
};
CHeifApi g_heif;

template <typename TFunction>
bool Resolve(QLibrary &library, const char *name, TFunction &function)
{
    function = reinterpret_cast<TFunction>(library.resolve(name));
    return function != nullptr;
}

// Whether libheif is there, loaded and set up; tried once.
bool LoadHeif()
{
    static std::once_flag done;
    static bool loaded = false;
    std::call_once(done, [] {
        // Left loaded until the program ends, as QLibrary leaves it.
        QLibrary library(QStringLiteral("heif"), 1);
        loaded = library.load()
            && Resolve(library, "heif_context_alloc", g_heif.context_alloc)
            && Resolve(library, "heif_context_free", g_heif.context_free)
            && Resolve(library, "heif_context_get_primary_image_handle", g_heif.context_get_primary_image_handle)
            && Resolve(library, "heif_context_read_from_file", g_heif.context_read_from_file)
            && Resolve(library, "heif_decode_image", g_heif.decode_image)
            && Resolve(library, "heif_decoding_options_alloc", g_heif.decoding_options_alloc)
            && Resolve(library, "heif_decoding_options_free", g_heif.decoding_options_free)
            && Resolve(library, "heif_have_decoder_for_format", g_heif.have_decoder_for_format)
            && Resolve(library, "heif_image_get_bits_per_pixel", g_heif.image_get_bits_per_pixel)
            && Resolve(library, "heif_image_get_height", g_heif.image_get_height)
            && Resolve(library, "heif_image_get_plane_readonly", g_heif.image_get_plane_readonly)
            && Resolve(library, "heif_image_get_width", g_heif.image_get_width)
            && Resolve(library, "heif_image_handle_get_chroma_bits_per_pixel", g_heif.image_handle_get_chroma_bits_per_pixel)
            && Resolve(library, "heif_image_handle_get_color_profile_type", g_heif.image_handle_get_color_profile_type)
            && Resolve(library, "heif_image_handle_get_height", g_heif.image_handle_get_height)
            && Resolve(library, "heif_image_handle_get_luma_bits_per_pixel", g_heif.image_handle_get_luma_bits_per_pixel)
            && Resolve(library, "heif_image_handle_get_nclx_color_profile", g_heif.image_handle_get_nclx_color_profile)
            && Resolve(library, "heif_image_handle_get_raw_color_profile", g_heif.image_handle_get_raw_color_profile)
            && Resolve(library, "heif_image_handle_get_raw_color_profile_size", g_heif.image_handle_get_raw_color_profile_size)
            && Resolve(library, "heif_image_handle_get_width", g_heif.image_handle_get_width)
            && Resolve(library, "heif_image_handle_release", g_heif.image_handle_release)
            && Resolve(library, "heif_image_release", g_heif.image_release)
            && Resolve(library, "heif_init", g_heif.init)
            && Resolve(library, "heif_nclx_color_profile_free", g_heif.nclx_color_profile_free);
        if (!loaded) {
            qCWarning(lcImage) << "libheif not loaded:" << library.errorString();
            g_heif = CHeifApi{};
            return;
        }
        g_heif.init(nullptr);
    });
    return loaded;
}

heif_compression_format CompressionOf(EPictureFormat format)
{
    return format == EPictureFormat::Avif ? heif_compression_AV1 : heif_compression_HEVC;
}

// The profile of a picture whose colours an nclx box gives by number: empty for sRGB's
// primaries or unspecified ones, and for HDR curves, which stay as they are.
QByteArray ProfileOfNclx(const heif_color_profile_nclx &nclx)
{
    ETransferCurve curve = ETransferCurve::Srgb; // also for the video curves (BT.709, 601, 2020)
    switch (nclx.transfer_characteristics) {
    case heif_transfer_characteristic_ITU_R_BT_470_6_System_M:
        curve = ETransferCurve::Gamma22;
        break;
    case heif_transfer_characteristic_ITU_R_BT_470_6_System_B_G:
        curve = ETransferCurve::Gamma28;
        break;
    case heif_transfer_characteristic_linear:
        curve = ETransferCurve::Linear;
        break;
    case heif_transfer_characteristic_ITU_R_BT_2100_0_PQ:
    case heif_transfer_characteristic_ITU_R_BT_2100_0_HLG:
        return {};
    default:
        break;
    }
    const bool srgbPrimaries = nclx.color_primaries == heif_color_primaries_ITU_R_BT_709_5
        || nclx.color_primaries == heif_color_primaries_unspecified;
    if (srgbPrimaries && curve == ETransferCurve::Srgb)
        return {};
    return RgbProfile({nclx.color_primary_red_x, nclx.color_primary_red_y, nclx.color_primary_green_x,
                       nclx.color_primary_green_y, nclx.color_primary_blue_x, nclx.color_primary_blue_y,
                       nclx.color_primary_white_x, nclx.color_primary_white_y},
                      curve);
}

} // namespace

bool CanDecodeHeif(EPictureFormat format, QString *why)
{
    if (!LoadHeif()) {
        if (why)
            *why = QCoreApplication::translate("CPictureLoaders", "libheif cannot be loaded");
        return false;
    }
    if (g_heif.have_decoder_for_format(CompressionOf(format)))
        return true;
    if (why)
        *why = QCoreApplication::translate("CPictureLoaders", "this build cannot decode %1")
                   .arg(format == EPictureFormat::Avif ? QStringLiteral("AV1") : QStringLiteral("HEVC"));
    return false;
}

struct CHeifRows::CState
{
    ~CState()
    {
        if (image)
            g_heif.image_release(image);
        if (handle)
            g_heif.image_handle_release(handle);
        if (context)
            g_heif.context_free(context);
    }

    bool Failed(const heif_error &error)
    {
        if (error.code == heif_error_Ok)
            return false;
        message = QString::fromUtf8(error.message);
        return true;
    }

    heif_context *context = nullptr;
    heif_image_handle *handle = nullptr;
    heif_image *image = nullptr;
    // Red, green and blue planes, or one plane of them interleaved.
    const std::uint8_t *planes[3] = {};
    int strides[3] = {};
    bool interleaved = false;
    QString message;
};

CHeifRows::CHeifRows(const QString &path, EPictureFormat format, std::int64_t maxPixels)
    : CPictureRows(format), m_state(std::make_unique<CState>())
{
    CState &state = *m_state;
    if (!CanDecodeHeif(format, &m_unsupported)) {
        qCDebug(lcImage) << PictureFormatName(format) << Shown(path) << ":" << m_unsupported;
        m_problem = ELoadProblem::Unsupported;
        return;
    }
    state.context = g_heif.context_alloc();
    if (!state.context
        || state.Failed(g_heif.context_read_from_file(state.context, QFile::encodeName(path).constData(), nullptr))
        || state.Failed(g_heif.context_get_primary_image_handle(state.context, &state.handle))) {
        qCDebug(lcImage) << PictureFormatName(format) << Shown(path) << "not read:" << state.message;
        m_problem = ELoadProblem::Damaged;
        return;
    }
    // The size after libheif's transformations; their product, checked here, is that of the
    // stored picture too.
    m_headerWidth = g_heif.image_handle_get_width(state.handle);
    m_headerHeight = g_heif.image_handle_get_height(state.handle);
    if (m_headerWidth < 1 || m_headerHeight < 1 || m_headerWidth * m_headerHeight > maxPixels) {
        qCDebug(lcImage) << PictureFormatName(format) << "refused: size" << m_headerWidth << "x" << m_headerHeight;
        m_problem = m_headerWidth < 1 || m_headerHeight < 1 ? ELoadProblem::Damaged : ELoadProblem::TooLarge;
        return;
    }
    m_width = int(m_headerWidth);
    m_height = int(m_headerHeight);
    const heif_color_profile_type type = g_heif.image_handle_get_color_profile_type(state.handle);
    QByteArray profile;
    if (type == heif_color_profile_type_prof || type == heif_color_profile_type_rICC) {
        profile.resize(qsizetype(g_heif.image_handle_get_raw_color_profile_size(state.handle)));
        if (state.Failed(g_heif.image_handle_get_raw_color_profile(state.handle, profile.data())))
            profile.clear();
    } else if (type == heif_color_profile_type_nclx) {
        heif_color_profile_nclx *nclx = nullptr;
        if (!state.Failed(g_heif.image_handle_get_nclx_color_profile(state.handle, &nclx)) && nclx)
            profile = ProfileOfNclx(*nclx);
        g_heif.nclx_color_profile_free(nclx);
    }
    m_colours = CColourConverter(profile, EColourInput::Rgb);
    m_notes = m_colours.Notes();
    m_open = true;
}

CHeifRows::~CHeifRows() = default;

namespace {

bool Decode(heif_image_handle *handle, heif_image **image, heif_chroma chroma)
{
    // Deeper samples are scaled down where libheif converts; alpha is dropped; the file's
    // rotation, mirroring and cropping applied.
    heif_decoding_options *options = g_heif.decoding_options_alloc();
    options->convert_hdr_to_8bit = 1;
    const heif_error error = g_heif.decode_image(handle, image, heif_colorspace_RGB, chroma, options);
    g_heif.decoding_options_free(options);
    if (error.code == heif_error_Ok)
        return true;
    if (*image)
        g_heif.image_release(*image);
    *image = nullptr;
    return false;
}

bool PlaneFits(const heif_image *image, heif_channel channel, int width, int height)
{
    return g_heif.image_get_width(image, channel) == width && g_heif.image_get_height(image, channel) == height
        && g_heif.image_get_bits_per_pixel(image, channel) == 8;
}

} // namespace

bool CHeifRows::Start()
{
    if (!m_open)
        return false;
    CState &state = *m_state;
    // Eight-bit planes of red, green and blue are what libheif puts a tiled picture (what
    // phones write) together in: asked for those, it hands them over as they are instead of
    // converting them into a second whole picture, the same bytes. Deeper pictures, whose
    // planes take two bytes a sample, and anything else come interleaved in eight bits.
    if (g_heif.image_handle_get_luma_bits_per_pixel(state.handle) == 8
        && g_heif.image_handle_get_chroma_bits_per_pixel(state.handle) == 8
        && Decode(state.handle, &state.image, heif_chroma_444)) {
        const heif_channel channels[3] = {heif_channel_R, heif_channel_G, heif_channel_B};
        bool good = true;
        for (int c = 0; c < 3 && good; ++c) {
            state.planes[c] = g_heif.image_get_plane_readonly(state.image, channels[c], &state.strides[c]);
            good = state.planes[c] && PlaneFits(state.image, channels[c], m_width, m_height);
        }
        if (!good) {
            g_heif.image_release(state.image);
            state.image = nullptr;
        }
    }
    if (!state.image) {
        if (!Decode(state.handle, &state.image, heif_chroma_interleaved_RGB)) {
            state.message = QStringLiteral("not decoded");
            return false;
        }
        state.interleaved = true;
        state.planes[0] = g_heif.image_get_plane_readonly(state.image, heif_channel_interleaved, &state.strides[0]);
        if (!state.planes[0] || g_heif.image_get_width(state.image, heif_channel_interleaved) != m_width
            || g_heif.image_get_height(state.image, heif_channel_interleaved) != m_height
            || g_heif.image_get_bits_per_pixel(state.image, heif_channel_interleaved) != 24) {
            state.message = QStringLiteral("unexpected decoded picture");
            return false;
        }
    }
    // Both threads convert, the second a little ahead of the reader.
    m_batches = CRowBatches::StartFor(m_colours, m_width, m_height, StoredRows());
    return true;
}

int CHeifRows::ReadStoredRows(std::uint8_t *const *rows, int count)
{
    const CState &state = *m_state;
    if (!state.planes[0])
        return -1;
    const std::size_t width = std::size_t(m_width);
    int done = 0;
    for (; done < count && m_storedRows < m_height; ++done, ++m_storedRows) {
        const std::size_t y = std::size_t(m_storedRows);
        std::uint8_t *out = rows[done];
        if (state.interleaved) {
            std::memcpy(out, state.planes[0] + y * std::size_t(state.strides[0]), width * 3);
            continue;
        }
        const std::uint8_t *red = state.planes[0] + y * std::size_t(state.strides[0]);
        const std::uint8_t *green = state.planes[1] + y * std::size_t(state.strides[1]);
        const std::uint8_t *blue = state.planes[2] + y * std::size_t(state.strides[2]);
        for (std::size_t x = 0; x < width; ++x) {
            out[3 * x] = red[x];
            out[3 * x + 1] = green[x];
            out[3 * x + 2] = blue[x];
        }
    }
    return done;
}

CRowBatches::CDecode CHeifRows::StoredRows()
{
    return [this](std::uint8_t *const *rows, int count) { return ReadStoredRows(rows, count); };
}

int CHeifRows::ReadRows(std::uint8_t *const *rows, int count)
{
    return CRowBatches::ReadRows(m_batches.get(), m_colours, m_width, rows, count, StoredRows());
}

int CHeifRows::RowsDone() const
{
    return m_batches ? m_batches->RowsDone() : m_storedRows;
}

bool CHeifRows::Finish()
{
    if (m_batches)
        m_batches->Stop();
    return RowsDone() == m_height;
}

QString CHeifRows::Message() const
{
    return m_state->message;
}

bool LoadHeif(CRgbImage &image, const QString &path, EPictureFormat format, std::int64_t maxPixels)
{
    CHeifRows rows(path, format, maxPixels);
    if (!rows.IsOpen() && rows.Problem() == ELoadProblem::Unsupported)
        return Refuse(image, format, ELoadProblem::Unsupported, rows.UnsupportedWhy());
    return DecodeRows(image, rows, maxPixels);
}

} // namespace quorvel
