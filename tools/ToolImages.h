#pragma once
// Pictures for the commands: loading with the editor's loaders, writing palette PNGs.

#include "image/FaceFinder.h"
#include "image/Loaders.h"

#include <QString>

#include <cstdint>
#include <memory>
#include <vector>

namespace quorvel {
class CFaceCutter;
class CRgbImage;
}

namespace quorvel::tool {

// False, with *error, for a missing, unreadable or folder path, told apart from a file that is
// no picture.
bool CheckPictureFile(const QString &path, QString *error);

// Loads a picture with the editor's loaders (chosen by extension, as the grab dialog does).
// A picture that no loader reads whole is refused: null, with *error a one-line message.
std::unique_ptr<CRgbImage> LoadPictureFile(const QString &path, QString *error);

// Opens a picture to cut faces from, JPEG pictures without loading them whole; refused as
// LoadPictureFile refuses, with the same messages.
std::unique_ptr<CFaceCutter> OpenFaceCutter(const QString &path, QString *error);

// The message for a picture that no loader reads whole, in the editor's words: why, from what
// the loaders reported, or what the name promised and what the file holds instead.
QString PictureUnreadable(const QString &path, const CLoadReport &report);

// Writes width x height palette indices, rows top to bottom, as an 8-bit indexed PNG whose colour
// table is the whole game palette; whole or not at all.
bool WriteIndexedPng(const QString &path, const std::uint8_t *indices, int width, int height,
                     QString *error);

// A face the finder found and the square proposed for it, in picture pixels.
struct CFaceProposal
{
    CFoundFace found;
    CPixelRect square;
};

// The faces in a picture file with their squares, largest first, found as FindFacesInFile
// finds them (a large JPEG decoded small for the search); width and height the picture's.
// False, with *error, when the picture cannot be read, in LoadPictureFile's words
// (CmdFindFaces.cpp). A picture the search loaded whole goes to *whole when it is given.
bool FaceProposalsInFile(const QString &path, std::vector<CFaceProposal> &proposals, int &width,
                         int &height, QString *error,
                         std::unique_ptr<CRgbImage> *whole = nullptr);

// A rectangle as X1,Y1,X2,Y2, right and bottom excluded: what --face takes after "@".
QString CornersText(const CPixelRect &r);

} // namespace quorvel::tool
