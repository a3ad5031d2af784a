#include "AnsiText.h"

#include <array>

namespace quorvel {
namespace {

// Code points of bytes 0x80-0x9F; the rest of the page equals Latin-1.
constexpr std::array<char16_t, 32> kHighControls = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

int ByteFor(char16_t u)
{
    if (u < 0x80 || (u >= 0xA0 && u <= 0xFF))
        return u;
    for (int i = 0; i < int(kHighControls.size()); ++i) {
        if (kHighControls[i] == u)
            return 0x80 + i;
    }
    return -1;
}

} // namespace

QString FromAnsi(const char *bytes, qsizetype length)
{
    QString out;
    out.reserve(length);
    for (qsizetype i = 0; i < length; ++i) {
        const auto b = static_cast<unsigned char>(bytes[i]);
        out.append(b >= 0x80 && b < 0xA0 ? QChar(kHighControls[b - 0x80]) : QChar(b));
    }
    return out;
}

QString FromAnsi(const QByteArray &bytes)
{
    return FromAnsi(bytes.constData(), bytes.size());
}

bool IsAnsiRepresentable(QChar c)
{
    return c.unicode() != 0 && ByteFor(c.unicode()) >= 0;
}

QByteArray ToAnsi(const QString &text, bool *lossless)
{
    QByteArray out;
    out.reserve(text.size());
    bool allKept = true;
    for (QChar c : text) {
        const int b = ByteFor(c.unicode());
        if (b < 0) {
            allKept = false;
            out.append('?');
        } else {
            out.append(static_cast<char>(b));
        }
    }
    if (lossless)
        *lossless = allKept;
    return out;
}

} // namespace quorvel
