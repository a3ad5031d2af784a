#pragma once
// Where the game keeps its company objects. An explicit choice wins: QUORVEL_OBJDATA, then
// the folder chosen in the editor. Otherwise the game's install folder comes from its registry
// value: on Windows from the registry, elsewhere from the Wine prefixes a player is likely to
// have ($WINEPREFIX, ~/.wine, Steam's Proton prefixes in every Steam library, Lutris and
// Bottles). Without the game, the current directory.

#include <QDateTime>
#include <QString>

#include <vector>

namespace quorvel {

enum class EObjectFolderSource {
    Environment,      // QUORVEL_OBJDATA
    Choice,           // File > Game Folder... in the editor
    Game,             // the game's registry value
    CurrentDirectory, // no game found
};

enum class ECandidateKind { WinePrefixVariable, Wine, Steam, Lutris, Bottles, Registry };

// One place the game was looked for: a Wine prefix, or on Windows the registry.
struct CGameCandidate
{
    enum class EState {
        NoRegistry,  // no system.reg
        Unreadable,  // system.reg cannot be read
        NoGameKey,   // the game's key is not there
        NoValue,     // the key is, its value not
        NotText,     // the value holds a number or raw bytes
        TooLong,     // the value is longer than the game's installer can have written
        NotMapped,   // the value names no drive the prefix maps
        Game,        // the game's install folder, and so an object folder
    };

    ECandidateKind kind = ECandidateKind::Wine;
    QString prefix;        // the prefix's folder; on Windows the registry key
    EState state = EState::NoRegistry;
    QString installFolder; // the value's text, when it was text
    QString objectFolder;  // ending in a separator, when the state is Game
    bool objectFolderExists = false;
    QDateTime registryChanged; // system.reg's modification time; invalid without one

    bool HoldsGame() const { return state == EState::Game; }
};

struct CObjectFolderLookup
{
    QString folder; // ending in a separator
    EObjectFolderSource source = EObjectFolderSource::CurrentDirectory;
    QString reason; // one sentence: why this folder
    std::vector<CGameCandidate> candidates; // in the order they were looked at
    int used = -1;  // the candidate whose object folder is used, or -1
};

enum class ECandidateSearch {
    WhenNeeded, // not when an explicit choice decides
    Always,     // to show every candidate, as quorvel-tool paths does
};

// Looks the object folder up afresh; nothing is kept but the answers of unchanged registry
// files (CWineRegistryCache).
CObjectFolderLookup LookUpObjectFolder(ECandidateSearch search = ECandidateSearch::WhenNeeded);

// The candidate's kind and state in a few words, for people ("Steam", "no game key").
QString CandidateKindText(ECandidateKind kind);
QString CandidateStateText(const CGameCandidate &candidate);
// The same as a stable name, for scripts ("steam", "no-game-key").
QString CandidateKindName(ECandidateKind kind);
QString CandidateStateName(CGameCandidate::EState state);
QString SourceName(EObjectFolderSource source);

// The object folder chosen in the editor, kept in its settings; empty when there is none.
QString ChosenObjectFolder();
// Keeps the choice; an empty folder clears it, so the game found automatically is used.
void SetChosenObjectFolder(const QString &folder);
// The object folder for a folder the user picked: its ObjData (in any case) when it has one,
// as the game's own folder does, else the folder itself.
QString ObjectFolderOfPick(const QString &folder);

// The editor's settings: this organisation, and in it the application "Quorvel".
extern const char kSettingsOrganization[];
extern const char kSettingsApplication[];

} // namespace quorvel
