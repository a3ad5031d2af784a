#pragma once
// Steam's libraries, as its steamapps/libraryfolders.vdf lists them, so that the Wine prefixes
// Proton keeps in each library can be searched for the game.

#include <QByteArrayView>
#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

namespace quorvel {

// One key of a Valve key-values text: a text value, or a block of keys.
struct CVdfNode
{
    QString key;
    QString value;
    bool block = false;
    std::vector<CVdfNode> children;

    // The first child of that key (compared without regard to case), or null.
    const CVdfNode *Child(QStringView name) const;
};

// Parses key-values text: keys and values quoted (with \n, \t, \\ and \" escapes) or bare,
// blocks in braces nested to a sane depth, // comments and [$PLATFORM] conditions. Nothing
// when the text is malformed: a string or block left open, a key without a value, a stray
// brace. The root is a block holding the top-level keys.
std::optional<CVdfNode> ParseVdf(QByteArrayView text);

// The library folders of a libraryfolders.vdf text, in the file's order: the "path" of each
// numbered block, or a numbered key's own value in the older layout. Nothing when the text
// is malformed or is no library list.
std::optional<QStringList> SteamLibraryFolders(QByteArrayView text);

} // namespace quorvel
