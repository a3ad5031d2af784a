#include "game/WineRegistry.h"

#include "platform/Logging.h"

#include <QIODevice>

#include <algorithm>
#include <cstring>
#include <optional>
#include <vector>

// The file is line based:
//
//   WINE REGISTRY Version 2
//   ;; All keys relative to \\Machine          comment
//   #arch=win32                               option
//   [Software\\Kavro\\Halvortine Setup] 1700000000
//   #time=1d9c1f2e3a4b5c6                     option of the key above
//   @="default value"
//   "Path"="C:\\Games\\Halvortine"            string
//   "Where"=str(2):"%ProgramFiles%\\Game"     string of another type (2: expandable)
//   "Size"=dword:00000400
//   "Blob"=hex:01,02,03,\                     bytes; a trailing backslash continues the
//     04,05                                   list on the next line
//   "Odd"=hex(2):43,00,3a,00                  a string type written as UTF-16LE bytes
//
// Names and strings escape backslash, the delimiter and control characters: \\ \" \] \n \r
// \t \a \b \e \f \v, \x followed by up to four hex digits (one UTF-16 unit) and \ followed by
// up to three octal digits.

namespace quorvel {
namespace {

constexpr uint kRegSz = 1;
constexpr uint kRegExpandSz = 2;
constexpr uint kRegBinary = 3;
constexpr uint kRegMultiSz = 7;

// No value a game looks up comes near these; a longer line, or a larger file, is not the
// registry of a working prefix and must not cost the memory and time of reading it whole.
constexpr qsizetype kMaxLineBytes = 1 << 20;
constexpr qint64 kMaxFileBytes = qint64(256) << 20;

int HexDigit(QChar c)
{
    const char16_t u = c.unicode();
    if (u >= '0' && u <= '9')
        return u - '0';
    if (u >= 'a' && u <= 'f')
        return u - 'a' + 10;
    if (u >= 'A' && u <= 'F')
        return u - 'A' + 10;
    return -1;
}

bool IsOctalDigit(QChar c)
{
    return c.unicode() >= '0' && c.unicode() <= '7';
}

// Decodes the escaped text from pos up to the first unescaped delimiter and leaves pos just
// past it. Nothing when the line ends first.
std::optional<QString> ParseEscaped(QStringView line, qsizetype &pos, QChar delimiter)
{
    QString out;
    while (pos < line.size()) {
        const QChar c = line[pos++];
        if (c == delimiter)
            return out;
        if (c != u'\\') {
            out += c;
            continue;
        }
        if (pos >= line.size())
            return std::nullopt;
        const QChar e = line[pos++];
        switch (e.unicode()) {
        case 'a': out += QChar(0x07); break;
        case 'b': out += QChar(0x08); break;
        case 'e': out += QChar(0x1b); break;
        case 'f': out += QChar(0x0c); break;
        case 'n': out += QChar(0x0a); break;
        case 'r': out += QChar(0x0d); break;
        case 't': out += QChar(0x09); break;
        case 'v': out += QChar(0x0b); break;
        case 'x': {
            char16_t unit = 0;
            int digits = 0;
            while (digits < 4 && pos < line.size() && HexDigit(line[pos]) >= 0) {
                unit = char16_t(unit * 16 + HexDigit(line[pos++]));
                ++digits;
            }
            out += digits ? QChar(unit) : QChar(u'x');
            break;
        }
        default:
            if (IsOctalDigit(e)) {
                char16_t unit = char16_t(e.unicode() - '0');
                for (int digits = 1; digits < 3 && pos < line.size() && IsOctalDigit(line[pos]);
                     ++digits)
                    unit = char16_t(unit * 8 + (line[pos++].unicode() - '0'));
                out += QChar(unit);
            } else {
                out += e;
            }
            break;
        }
    }
    return std::nullopt;
}

// "ab,cd,ef": one or two hex digits a byte, commas between, blanks allowed.
std::optional<QByteArray> ParseHexBytes(QStringView text)
{
    QByteArray out;
    for (QStringView token : text.split(u',')) {
        token = token.trimmed();
        if (token.isEmpty())
            continue;
        if (token.size() > 2)
            return std::nullopt;
        int byte = 0;
        for (QChar c : token) {
            const int d = HexDigit(c);
            if (d < 0)
                return std::nullopt;
            byte = byte * 16 + d;
        }
        out.append(char(byte));
    }
    return out;
}

// Reads a hex number up to the closing parenthesis of "(N)"; pos starts after "(".
std::optional<uint> ParseTypeNumber(QStringView data, qsizetype &pos)
{
    const qsizetype close = data.indexOf(u')', pos);
    if (close < 0)
        return std::nullopt;
    bool ok = false;
    const uint type = data.mid(pos, close - pos).toUInt(&ok, 16);
    if (!ok)
        return std::nullopt;
    pos = close + 1;
    return type;
}

// Reads the file line by line, in pieces, so that a line of any length costs no more memory
// than the cap, and counts what it has read.
class CLineReader
{
public:
    explicit CLineReader(QIODevice &in) : m_in(in) {}

    bool AtEnd() const { return m_in.atEnd(); }
    qint64 BytesRead() const { return m_bytesRead; }

    // The next line without its line break; a line over the cap is read past and comes back
    // as nothing.
    std::optional<QByteArray> Next()
    {
        QByteArray line;
        bool tooLong = false;
        char piece[4096];
        for (;;) {
            const qint64 got = m_in.readLine(piece, sizeof piece);
            if (got <= 0)
                break;
            m_bytesRead += got;
            const bool ended = piece[got - 1] == '\n';
            if (!tooLong) {
                line.append(piece, got);
                tooLong = line.size() > kMaxLineBytes + 2; // the line break does not count
            }
            if (ended)
                break;
        }
        while (line.endsWith('\n') || line.endsWith('\r'))
            line.chop(1);
        if (tooLong || line.size() > kMaxLineBytes) {
            qCDebug(lcGame) << "skipped a registry line longer than" << kMaxLineBytes << "bytes";
            return std::nullopt;
        }
        return line;
    }

private:
    QIODevice &m_in;
    qint64 m_bytesRead = 0;
};

struct ParsedValue
{
    bool isText = false;
    QString text;
};

// The data after "=". Hex lists continue on the next lines of `in` while they end in "\".
// Nothing when the data is malformed, which drops the line as Wine itself does.
std::optional<ParsedValue> ParseData(QStringView data, CLineReader &in)
{
    if (data.startsWith(u'"')) {
        qsizetype pos = 1;
        auto text = ParseEscaped(data, pos, u'"');
        if (!text)
            return std::nullopt;
        return ParsedValue{true, *text};
    }
    if (data.startsWith(u"str(")) {
        qsizetype pos = 4;
        if (!ParseTypeNumber(data, pos) || !data.mid(pos).startsWith(u":\""))
            return std::nullopt;
        pos += 2;
        auto text = ParseEscaped(data, pos, u'"');
        if (!text)
            return std::nullopt;
        return ParsedValue{true, *text};
    }
    if (data.startsWith(u"dword:"))
        return ParsedValue{false, {}};
    if (!data.startsWith(u"hex"))
        return std::nullopt;

    qsizetype pos = 3;
    uint type = kRegBinary;
    if (data.mid(pos).startsWith(u'(')) {
        ++pos;
        const auto number = ParseTypeNumber(data, pos);
        if (!number)
            return std::nullopt;
        type = *number;
    }
    if (!data.mid(pos).startsWith(u':'))
        return std::nullopt;
    QString list = data.mid(pos + 1).trimmed().toString();
    // A continued value is held to the same cap as one line.
    qsizetype valueBytes = data.size();
    while (list.endsWith(u'\\')) {
        list.chop(1);
        if (in.AtEnd())
            break;
        const std::optional<QByteArray> next = in.Next();
        if (!next || (valueBytes += next->size()) > kMaxLineBytes)
            return std::nullopt;
        list += QString::fromUtf8(*next).trimmed();
    }
    const auto bytes = ParseHexBytes(list);
    if (!bytes)
        return std::nullopt;
    // Raw bytes are no folder name; only the string types, whole UTF-16LE units, count.
    if ((type != kRegSz && type != kRegExpandSz && type != kRegMultiSz) || bytes->size() % 2)
        return ParsedValue{false, {}};
    QString text;
    text.reserve(bytes->size() / 2);
    for (qsizetype i = 0; i + 1 < bytes->size(); i += 2)
        text += QChar(char16_t(uchar(bytes->at(i)) | (uchar(bytes->at(i + 1)) << 8)));
    return ParsedValue{true, text};
}

void SkipBlanks(QStringView line, qsizetype &pos)
{
    while (pos < line.size() && (line[pos] == u' ' || line[pos] == u'\t'))
        ++pos;
}

} // namespace

WineRegistryLookup LookUpWineRegistryValue(QIODevice &in, const QStringList &keys,
                                           const QString &valueName)
{
    using Status = WineRegistryLookup::Status;
    std::vector<WineRegistryLookup> perKey(keys.size());
    qsizetype section = -1;

    if (!in.isSequential() && in.size() > kMaxFileBytes) {
        qCDebug(lcGame) << "ignored a registry file of" << in.size() << "bytes, more than"
                         << kMaxFileBytes;
        return {};
    }
    CLineReader lines(in);
    while (!lines.AtEnd()) {
        if (lines.BytesRead() > kMaxFileBytes) {
            qCDebug(lcGame) << "ignored a registry file longer than" << kMaxFileBytes << "bytes";
            return {};
        }
        const std::optional<QByteArray> next = lines.Next();
        if (!next)
            continue;
        const QByteArray &raw = *next;
        qsizetype start = 0;
        while (start < raw.size() && (raw[start] == ' ' || raw[start] == '\t'))
            ++start;
        if (start == raw.size())
            continue;
        const char first = raw[start];

        if (first == '[') {
            section = -1;
            const QString line = QString::fromUtf8(raw.constData() + start + 1, raw.size() - start - 1);
            qsizetype pos = 0;
            const auto name = ParseEscaped(line, pos, u']');
            if (!name)
                continue;
            for (qsizetype i = 0; i < keys.size(); ++i) {
                if (name->compare(keys[i], Qt::CaseInsensitive) == 0) {
                    section = i;
                    if (perKey[i].status == Status::KeyMissing)
                        perKey[i] = {Status::ValueMissing, *name, {}};
                    break;
                }
            }
            continue;
        }
        // Comments, options and the lines of other keys are of no interest.
        if (section < 0 || (first != '"' && first != '@'))
            continue;

        const QString line = QString::fromUtf8(raw.constData() + start, raw.size() - start);
        qsizetype pos = 1;
        QString name;
        if (first == '"') {
            auto parsed = ParseEscaped(line, pos, u'"');
            if (!parsed)
                continue;
            name = *parsed;
        }
        SkipBlanks(line, pos);
        if (pos >= line.size() || line[pos] != u'=')
            continue;
        ++pos;
        SkipBlanks(line, pos);
        if (name.compare(valueName, Qt::CaseInsensitive) != 0)
            continue;
        const auto value = ParseData(QStringView(line).mid(pos), lines);
        if (!value)
            continue;
        WineRegistryLookup &entry = perKey[section];
        entry.status = value->isText ? Status::Found : Status::NotText;
        entry.text = value->text;
        const qsizetype nul = entry.text.indexOf(QChar(0));
        if (nul >= 0)
            entry.text.truncate(nul);
    }

    for (const WineRegistryLookup &entry : perKey) {
        if (entry.status == Status::Found || entry.status == Status::NotText)
            return entry;
    }
    for (const WineRegistryLookup &entry : perKey) {
        if (entry.status == Status::ValueMissing)
            return entry;
    }
    return {};
}

} // namespace quorvel

namespace quorvel {
namespace {

char FoldAscii(char c)
{
    return c >= 'A' && c <= 'Z' ? char(c + ('a' - 'A')) : c;
}

} // namespace

bool MayHoldWineRegistryKey(QIODevice &in, const QStringList &keys)
{
    // Each needle is a last component and the "]" that ends its key line, folded to lower case.
    std::vector<QByteArray> needles;
    qsizetype longest = 0;
    for (const QString &key : keys) {
        const QString last = key.section(u'\\', -1);
        const bool plain = std::all_of(last.begin(), last.end(), [](QChar c) {
            return c.unicode() >= 0x20 && c.unicode() < 0x7f && c != u']' && c != u'\\';
        });
        // Wine escapes such names, and Unicode folds case beyond ASCII: only parsing can tell.
        if (last.isEmpty() || !plain)
            return true;
        QByteArray needle = last.toLatin1().toLower() + ']';
        longest = std::max(longest, needle.size());
        needles.push_back(std::move(needle));
    }
    // A file the parser would ignore needs no scan either.
    if (needles.empty() || (!in.isSequential() && in.size() > kMaxFileBytes))
        return false;

    // Chunks of the file, each after the tail of the one before, so a name that straddles two
    // chunks is still seen whole. The "]" of a key line is rare enough for memchr to skip to.
    constexpr qint64 kChunk = 1 << 20;
    // A small file needs no more than its own size.
    const qsizetype chunk = qsizetype(in.isSequential() ? kChunk
                                                        : std::clamp(in.size() - in.pos(), qint64(1), kChunk));
    QByteArray buffer(chunk + longest, Qt::Uninitialized);
    qsizetype kept = 0;
    for (qint64 total = 0; total <= kMaxFileBytes;) {
        const qint64 got = in.read(buffer.data() + kept, chunk);
        if (got <= 0)
            return false;
        total += got;
        const char *data = buffer.constData();
        const qsizetype size = kept + qsizetype(got);
        qsizetype from = kept;
        while (const void *hit = std::memchr(data + from, ']', std::size_t(size - from))) {
            const qsizetype end = static_cast<const char *>(hit) - data + 1;
            for (const QByteArray &needle : needles) {
                const qsizetype start = end - needle.size();
                if (start < 0)
                    continue;
                bool same = true;
                for (qsizetype i = 0; same && i < needle.size(); ++i)
                    same = FoldAscii(data[start + i]) == needle[i];
                if (same)
                    return true;
            }
            from = end;
        }
        kept = std::min(size, longest - 1);
        std::memmove(buffer.data(), data + size - kept, std::size_t(kept));
    }
    return false;
}

} // namespace quorvel
