#pragma once
// Pictures' colours into sRGB through Little CMS, from the colour profile a photo embeds (or
// a plain conversion for CMYK without one), before anything else sees them.

#include <QByteArray>
#include <QStringList>

#include <cstdint>
#include <memory>

namespace quorvel {

// The stored kind of pixel the decoder hands over, a byte a sample.
enum class EColourInput {
    Rgb,          // red, green, blue
    GreyInRgb,    // grey, repeated as red, green and blue
    Cmyk,         // cyan, magenta, yellow, black: ink, 0 for none
    InvertedCmyk, // the same with 255 for no ink, as Adobe's programs write it (APP14)
};

// The colours of an RGB picture described by numbers rather than a profile (a HEIF "nclx"
// box): where its red, green, blue and white lie (CIE x, y), and its transfer curve.
struct CRgbPrimaries
{
    double redX, redY, greenX, greenY, blueX, blueY, whiteX, whiteY;
};

enum class ETransferCurve { Srgb, Gamma22, Gamma28, Linear };

// An ICC profile of such colours, as Little CMS writes one; empty when it refuses them.
QByteArray RgbProfile(const CRgbPrimaries &primaries, ETransferCurve curve);

class CColourConverter
{
public:
    // Nothing to do: RGB pictures without a profile.
    CColourConverter();
    // From pixels of the kind described by the profile (empty: none) to sRGB. An sRGB profile,
    // or one whose conversion changes no colour by more than rounding, leaves the pixels as
    // they are; a profile that Little CMS refuses is ignored, with a note for the user.
    CColourConverter(const QByteArray &profile, EColourInput input);
    ~CColourConverter();
    CColourConverter(CColourConverter &&) noexcept;
    CColourConverter &operator=(CColourConverter &&) noexcept;

    // False when the pixels stay as they are.
    bool Converts() const { return m_transform != nullptr || IsCmyk(); }
    // Bytes a stored pixel takes: 3, or 4 for CMYK.
    int InputBytes() const { return IsCmyk() ? 4 : 3; }
    // pixels stored pixels from in to red, green, blue bytes at out; in and out may be the
    // same buffer when a pixel takes three bytes.
    void Convert(const std::uint8_t *in, std::uint8_t *out, int pixels) const;
    // What was done to the colours or left undone, for the user.
    const QStringList &Notes() const { return m_notes; }

private:
    bool IsCmyk() const { return m_input == EColourInput::Cmyk || m_input == EColourInput::InvertedCmyk; }
    void Transform(const std::uint8_t *in, std::uint8_t *out, int pixels) const;

    EColourInput m_input = EColourInput::Rgb;
    void *m_transform = nullptr; // a cmsHTRANSFORM
    QStringList m_notes;
    // The colours converted so far, for pictures of three bytes a pixel.
    struct CMemos;
    std::unique_ptr<CMemos> m_memos;
};

} // namespace quorvel
