#include "image/ColourProfile.h"

#include "platform/Logging.h"

#include <QCoreApplication>

#include <lcms2.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>
#include <thread>
#include <utility>
#include <vector>

namespace quorvel {

namespace {

QString Tr(const char *text)
{
    return QCoreApplication::translate("CPictureLoaders", text);
}

// Little CMS's complaints about a profile go to the log.
void LogError(cmsContext, cmsUInt32Number code, const char *text)
{
    qCDebug(lcImage) << "Little CMS:" << code << text;
}

cmsUInt32Number FormatOf(EColourInput input)
{
    switch (input) {
    case EColourInput::Rgb:
        break;
    case EColourInput::GreyInRgb: // the first of each three bytes, the other two skipped
        return COLORSPACE_SH(PT_GRAY) | CHANNELS_SH(1) | BYTES_SH(1) | EXTRA_SH(2);
    case EColourInput::Cmyk:
        return TYPE_CMYK_8;
    case EColourInput::InvertedCmyk:
        return TYPE_CMYK_8_REV;
    }
    return TYPE_RGB_8;
}

// Colours that show what a conversion does: ramps of grey and of each primary, and a lattice
// through the cube.
std::vector<std::uint8_t> ProbeColours()
{
    std::vector<std::uint8_t> colours;
    for (int v = 0; v < 256; v += 5) {
        for (const auto &c : {std::array<int, 3>{v, v, v}, {v, 0, 0}, {0, v, 0}, {0, 0, v}})
            colours.insert(colours.end(), {std::uint8_t(c[0]), std::uint8_t(c[1]), std::uint8_t(c[2])});
    }
    for (int r = 0; r < 256; r += 51)
        for (int g = 0; g < 256; g += 51)
            for (int b = 0; b < 256; b += 51)
                colours.insert(colours.end(), {std::uint8_t(r), std::uint8_t(g), std::uint8_t(b)});
    return colours;
}

// True when the transform moves no colour by more than one step: an sRGB profile (of any
// maker's making), whose conversion would only round.
bool ChangesNothing(cmsHTRANSFORM transform)
{
    const std::vector<std::uint8_t> in = ProbeColours();
    std::vector<std::uint8_t> out(in.size());
    cmsDoTransform(transform, in.data(), out.data(), cmsUInt32Number(in.size() / 3));
    for (std::size_t i = 0; i < in.size(); ++i) {
        if (std::abs(int(in[i]) - int(out[i])) > 1)
            return false;
    }
    return true;
}

} // namespace

QByteArray RgbProfile(const CRgbPrimaries &p, ETransferCurve curve)
{
    for (const double xy : {p.redX, p.redY, p.greenX, p.greenY, p.blueX, p.blueY, p.whiteX, p.whiteY}) {
        if (!(xy > 0.0 && xy < 1.0)) // NaN too
            return {};
    }
    const cmsCIExyY white{p.whiteX, p.whiteY, 1.0};
    const cmsCIExyYTRIPLE primaries{{p.redX, p.redY, 1.0}, {p.greenX, p.greenY, 1.0}, {p.blueX, p.blueY, 1.0}};
    cmsToneCurve *tone = nullptr;
    switch (curve) {
    case ETransferCurve::Srgb: {
        // IEC 61966-2-1: a linear foot, then a 2.4 power.
        const cmsFloat64Number srgb[5] = {2.4, 1.0 / 1.055, 0.055 / 1.055, 1.0 / 12.92, 0.04045};
        tone = cmsBuildParametricToneCurve(nullptr, 4, srgb);
        break;
    }
    case ETransferCurve::Gamma22:
        tone = cmsBuildGamma(nullptr, 2.2);
        break;
    case ETransferCurve::Gamma28:
        tone = cmsBuildGamma(nullptr, 2.8);
        break;
    case ETransferCurve::Linear:
        tone = cmsBuildGamma(nullptr, 1.0);
        break;
    }
    if (!tone)
        return {};
    cmsToneCurve *curves[3] = {tone, tone, tone};
    cmsHPROFILE profile = cmsCreateRGBProfile(&white, &primaries, curves);
    cmsFreeToneCurve(tone);
    QByteArray bytes;
    cmsUInt32Number size = 0;
    if (profile && cmsSaveProfileToMem(profile, nullptr, &size) && size > 0) {
        bytes.resize(qsizetype(size));
        if (!cmsSaveProfileToMem(profile, bytes.data(), &size))
            bytes.clear();
    }
    if (profile)
        cmsCloseProfile(profile);
    return bytes;
}

// Colours converted before, looked up instead of converted again: a photo repeats most of its
// colours, and a look-up costs a fraction of Little CMS's work for a pixel. The table of 2^18
// colours holds 83 to 99 per cent of a photo's pixels. One table a thread, for the two that
// convert a picture's rows; a third converts without.
struct CColourConverter::CMemos
{
    static constexpr int Bits = 18;
    static constexpr std::uint32_t Empty = 0xFFFFFFFFu; // no colour of 24 bits

    struct CTable
    {
        std::atomic<std::thread::id> owner{};
        std::vector<std::uint32_t> keys;   // the colours, red in the low byte
        std::vector<std::uint32_t> values; // what they become, packed the same way
        // A call's colours that were not in the table, and where they go.
        std::vector<std::uint8_t> missed;
        std::vector<std::uint8_t> converted;
        std::vector<std::uint32_t> missedKeys;
        std::vector<int> missedAt;
    };

    // The calling thread's table, claimed on its first call; null when both are taken or
    // memory cannot be had.
    CTable *Claim()
    {
        const std::thread::id self = std::this_thread::get_id();
        for (CTable &table : tables) {
            if (table.owner.load(std::memory_order_acquire) == self)
                return &table;
        }
        for (CTable &table : tables) {
            std::thread::id none;
            if (!table.owner.compare_exchange_strong(none, self, std::memory_order_acq_rel))
                continue;
            try {
                table.keys.assign(std::size_t(1) << Bits, Empty);
                table.values.resize(std::size_t(1) << Bits);
            } catch (const std::bad_alloc &) {
                table.keys.clear();
                table.values.clear();
            }
            return table.keys.empty() ? nullptr : &table;
        }
        return nullptr;
    }

    static std::uint32_t Slot(std::uint32_t colour) { return (colour * 2654435761u) >> (32 - Bits); }

    std::array<CTable, 2> tables;
};

CColourConverter::CColourConverter() = default;

CColourConverter::CColourConverter(const QByteArray &profile, EColourInput input) : m_input(input)
{
    if (profile.isEmpty())
        return;
    static std::once_flag quiet;
    std::call_once(quiet, [] { cmsSetLogErrorHandler(LogError); });
    cmsHPROFILE source = cmsOpenProfileFromMem(profile.constData(), cmsUInt32Number(profile.size()));
    cmsHPROFILE srgb = cmsCreate_sRGBProfile();
    cmsHTRANSFORM transform = nullptr;
    if (source && srgb)
        transform = cmsCreateTransform(source, FormatOf(input), srgb, TYPE_RGB_8,
                                       INTENT_PERCEPTUAL, 0);
    if (source)
        cmsCloseProfile(source);
    if (srgb)
        cmsCloseProfile(srgb);
    if (!transform) {
        qCDebug(lcImage) << "The colour profile of" << profile.size() << "bytes is refused";
        m_notes.append(Tr("Its colour profile could not be used and was ignored."));
        return;
    }
    if (input == EColourInput::Rgb && ChangesNothing(transform)) {
        cmsDeleteTransform(transform);
        return;
    }
    m_transform = transform;
    if (InputBytes() == 3)
        m_memos = std::make_unique<CMemos>();
    m_notes.append(Tr("Its colours were converted to sRGB from its colour profile."));
}

CColourConverter::~CColourConverter()
{
    if (m_transform)
        cmsDeleteTransform(static_cast<cmsHTRANSFORM>(m_transform));
}

CColourConverter::CColourConverter(CColourConverter &&other) noexcept
    : m_input(other.m_input), m_transform(std::exchange(other.m_transform, nullptr)),
      m_notes(std::move(other.m_notes)), m_memos(std::move(other.m_memos))
{
}

CColourConverter &CColourConverter::operator=(CColourConverter &&other) noexcept
{
    std::swap(m_input, other.m_input);
    std::swap(m_transform, other.m_transform);
    std::swap(m_notes, other.m_notes);
    std::swap(m_memos, other.m_memos);
    return *this;
}

void CColourConverter::Transform(const std::uint8_t *in, std::uint8_t *out, int pixels) const
{
    cmsDoTransform(static_cast<cmsHTRANSFORM>(m_transform), in, out, cmsUInt32Number(pixels));
}

void CColourConverter::Convert(const std::uint8_t *in, std::uint8_t *out, int pixels) const
{
    CMemos::CTable *table = m_memos ? m_memos->Claim() : nullptr;
    if (m_transform && !table) {
        Transform(in, out, pixels);
        return;
    }
    if (table) {
        try {
            table->missed.resize(std::size_t(pixels) * 3);
            table->converted.resize(std::size_t(pixels) * 3);
            table->missedKeys.resize(std::size_t(pixels));
            table->missedAt.resize(std::size_t(pixels));
        } catch (const std::bad_alloc &) {
            Transform(in, out, pixels);
            return;
        }
        // Known colours straight out; the others converted together, then remembered. Each
        // pixel is read before its place is written, so in may be out.
        int missed = 0;
        for (int x = 0; x < pixels; ++x) {
            const std::uint8_t *pixel = in + 3 * std::size_t(x);
            const std::uint32_t colour = pixel[0] | std::uint32_t(pixel[1]) << 8 | std::uint32_t(pixel[2]) << 16;
            const std::uint32_t slot = CMemos::Slot(colour);
            if (table->keys[slot] == colour) {
                const std::uint32_t value = table->values[slot];
                std::uint8_t *to = out + 3 * std::size_t(x);
                to[0] = std::uint8_t(value);
                to[1] = std::uint8_t(value >> 8);
                to[2] = std::uint8_t(value >> 16);
                continue;
            }
            std::memcpy(table->missed.data() + 3 * std::size_t(missed), pixel, 3);
            table->missedKeys[std::size_t(missed)] = colour;
            table->missedAt[std::size_t(missed)] = x;
            ++missed;
        }
        if (missed > 0)
            Transform(table->missed.data(), table->converted.data(), missed);
        for (int i = 0; i < missed; ++i) {
            const std::uint8_t *value = table->converted.data() + 3 * std::size_t(i);
            std::memcpy(out + 3 * std::size_t(table->missedAt[std::size_t(i)]), value, 3);
            const std::uint32_t slot = CMemos::Slot(table->missedKeys[std::size_t(i)]);
            table->keys[slot] = table->missedKeys[std::size_t(i)];
            table->values[slot] = value[0] | std::uint32_t(value[1]) << 8 | std::uint32_t(value[2]) << 16;
        }
        return;
    }
    if (!IsCmyk())
        return;
    // No profile: the plain conversion, each colour what the ink and the black leave of it.
    const bool inverted = m_input == EColourInput::InvertedCmyk;
    for (int i = 0; i < pixels; ++i, in += 4, out += 3) {
        const int k = inverted ? in[3] : 255 - in[3];
        for (int c = 0; c < 3; ++c) {
            const int left = inverted ? in[c] : 255 - in[c];
            out[c] = std::uint8_t((left * k + 127) / 255);
        }
    }
}

} // namespace quorvel
