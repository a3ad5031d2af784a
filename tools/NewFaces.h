#pragma once
// The faces of `new`: each requested face cut from its picture, at a rectangle or at a face the
// finder finds there.

#include <QString>

#include <vector>

namespace quorvel {
class CCompanyRecord;
}

namespace quorvel::tool {

struct CFaceRequest
{
    int expression = -1;
    QString picture;
    bool whole = true;
    int face = 0;              // cut at the finder's face of that number (1: the largest)
    bool wholeIfNoFace = false; // with face 1: the whole picture when it has no face
    int left = 0, top = 0, right = 0, bottom = 0; // right and bottom exclusive, as dragged
};

// Cuts every requested face into the record. -1 when all are cut, else the exit code, the
// reason printed.
int CutFaces(std::vector<CFaceRequest> &faces, CCompanyRecord &record);

} // namespace quorvel::tool
