#pragma once
// One expression's two faces on the clipboard or in a drag: a private type that holds both
// palette pictures index for index, so a paste gives back exactly what was copied, and the
// 64x64 face as a PNG (and as a picture for Qt programs) for everything else.

#include "company/CompanyRecord.h"

#include <QString>

#include <memory>
#include <optional>

class QMimeData;

namespace quorvel {

class CQuorvelDoc;

// The private type's name; its bytes are a four-byte tag, then the 576 small and the 4096
// large indices, rows top to bottom.
inline constexpr char kFacesMimeType[] = "application/x-quorvel-faces";

struct CFacePair
{
    CSmallFace small{};
    CLargeFace large{};
};

// The faces of an expression the document has, or none.
std::optional<CFacePair> DocumentFaces(const CQuorvelDoc &document, std::uint32_t bit);

std::unique_ptr<QMimeData> FacesToMimeData(const CFacePair &faces);
// The faces under the private type, or none when the data holds none whole.
std::optional<CFacePair> FacesFromMimeData(const QMimeData *mime);

// A picture the grab dialog can open from the data: a local file, or a picture itself.
bool HoldsPicture(const QMimeData *mime);

} // namespace quorvel
