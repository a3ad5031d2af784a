#pragma once
// The Wine prefixes a player is likely to have: $WINEPREFIX, ~/.wine, Steam's Proton prefixes in
// every Steam library, Lutris's and Bottles'.

#include "game/GameLookup.h"

#include <QString>

#include <utility>
#include <vector>

namespace quorvel {

// Every prefix worth asking, each once (the same folder reached twice, as ~/.steam/steam is
// ~/.local/share/Steam, is listed at its first place), in the order of the ways players keep
// them. Only fixed places and one level of folders in them are listed: nothing walks a drive.
std::vector<std::pair<ECandidateKind, QString>> FindWinePrefixes();

} // namespace quorvel
