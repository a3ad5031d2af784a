#include "game/SteamLibraries.h"

#include <algorithm>

// libraryfolders.vdf, as Steam writes it (the older layout had "1" "/mnt/games/SteamLibrary"
// directly under "LibraryFolders", beside keys such as "TimeNextStatsReport"):
//
//   "libraryfolders"
//   {
//       "0"
//       {
//           "path"      "/home/user/.local/share/Steam"
//           "label"     ""
//           "apps"
//           {
//               "228980"    "1234567"
//           }
//       }
//       "1"
//       {
//           "path"      "/mnt/games/SteamLibrary"
//       }
//   }

namespace quorvel {
namespace {

// Deeper nesting than any file Steam writes is taken for a malformed or hostile file.
constexpr int kMaxDepth = 32;

enum class EToken { End, Open, Close, Text, Malformed };

class CVdfReader
{
public:
    explicit CVdfReader(QByteArrayView text) : m_text(text)
    {
        if (m_text.startsWith("\xEF\xBB\xBF"))
            m_pos = 3;
    }

    // The next token; a key's or value's text in *text. Conditions such as [$WIN32] are
    // skipped: every key counts, whatever platform it is meant for.
    EToken Next(QString *text)
    {
        for (;;) {
            SkipBlanksAndComments();
            if (m_pos >= m_text.size())
                return EToken::End;
            const char c = m_text[m_pos];
            if (c == '{' || c == '}') {
                ++m_pos;
                return c == '{' ? EToken::Open : EToken::Close;
            }
            if (c == '[') {
                const qsizetype close = m_text.indexOf(']', m_pos);
                if (close < 0)
                    return EToken::Malformed;
                m_pos = close + 1;
                continue;
            }
            if (c == '"')
                return ReadQuoted(text) ? EToken::Text : EToken::Malformed;
            ReadBare(text);
            return EToken::Text;
        }
    }

private:
    static bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

    void SkipBlanksAndComments()
    {
        while (m_pos < m_text.size()) {
            if (IsBlank(m_text[m_pos])) {
                ++m_pos;
            } else if (m_text.sliced(m_pos).startsWith("//")) {
                const qsizetype end = m_text.indexOf('\n', m_pos);
                m_pos = end < 0 ? m_text.size() : end + 1;
            } else {
                return;
            }
        }
    }

    bool ReadQuoted(QString *text)
    {
        QByteArray bytes;
        ++m_pos;
        while (m_pos < m_text.size()) {
            const char c = m_text[m_pos++];
            if (c == '"') {
                *text = QString::fromUtf8(bytes);
                return true;
            }
            if (c != '\\' || m_pos >= m_text.size()) {
                bytes += c;
                continue;
            }
            const char e = m_text[m_pos++];
            switch (e) {
            case 'n': bytes += '\n'; break;
            case 't': bytes += '\t'; break;
            case '\\': bytes += '\\'; break;
            case '"': bytes += '"'; break;
            // A lone backslash, as in a Windows path written without escapes, stays.
            default: bytes += '\\'; bytes += e; break;
            }
        }
        return false;
    }

    void ReadBare(QString *text)
    {
        const qsizetype start = m_pos;
        while (m_pos < m_text.size()) {
            const char c = m_text[m_pos];
            if (IsBlank(c) || c == '"' || c == '{' || c == '}')
                break;
            ++m_pos;
        }
        *text = QString::fromUtf8(m_text.sliced(start, m_pos - start));
    }

    QByteArrayView m_text;
    qsizetype m_pos = 0;
};

// Reads keys into block until its closing brace (or, for the root, the end of the text).
bool ParseBlock(CVdfReader &reader, CVdfNode &block, int depth)
{
    const bool root = depth == 0;
    for (;;) {
        CVdfNode child;
        switch (reader.Next(&child.key)) {
        case EToken::End: return root;
        case EToken::Close: return !root;
        case EToken::Open:
        case EToken::Malformed: return false;
        case EToken::Text: break;
        }
        switch (reader.Next(&child.value)) {
        case EToken::Text:
            break;
        case EToken::Open:
            if (depth + 1 > kMaxDepth)
                return false;
            child.block = true;
            if (!ParseBlock(reader, child, depth + 1))
                return false;
            break;
        default:
            return false;
        }
        block.children.push_back(std::move(child));
    }
}

bool IsNumber(const QString &text)
{
    return !text.isEmpty()
           && std::all_of(text.begin(), text.end(), [](QChar c) { return c >= u'0' && c <= u'9'; });
}

} // namespace

const CVdfNode *CVdfNode::Child(QStringView name) const
{
    for (const CVdfNode &child : children) {
        if (child.key.compare(name, Qt::CaseInsensitive) == 0)
            return &child;
    }
    return nullptr;
}

std::optional<CVdfNode> ParseVdf(QByteArrayView text)
{
    CVdfReader reader(text);
    CVdfNode root;
    root.block = true;
    if (!ParseBlock(reader, root, 0))
        return std::nullopt;
    return root;
}

std::optional<QStringList> SteamLibraryFolders(QByteArrayView text)
{
    const std::optional<CVdfNode> root = ParseVdf(text);
    if (!root)
        return std::nullopt;
    const CVdfNode *list = root->Child(u"libraryfolders");
    if (!list || !list->block)
        return std::nullopt;
    QStringList folders;
    for (const CVdfNode &entry : list->children) {
        if (!IsNumber(entry.key))
            continue;
        QString folder;
        if (!entry.block) {
            folder = entry.value;
        } else if (const CVdfNode *path = entry.Child(u"path"); path && !path->block) {
            folder = path->value;
        }
        if (!folder.isEmpty())
            folders.append(folder);
    }
    return folders;
}

} // namespace quorvel
