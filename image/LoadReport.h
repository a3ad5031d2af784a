#pragma once
// What a picture file turned out to be and, when it could not be read whole, why: for telling
// the user in the editor's and the tool's words alike.

#include <QString>
#include <QStringList>

namespace quorvel {

// The picture formats the loaders know, by content or by name.
enum class EPictureFormat { Unknown, Jpeg, Png, Bmp, Gif, Ppm, Pgm, Pbm, Tiff, WebP, Heif, Avif };

enum class ELoadProblem {
    None,        // read whole, or no loader recognised the file
    Unsupported, // a kind of picture of that format this build cannot read (detail says which)
    TooLarge,    // more pixels than any loader takes
    OutOfMemory, // the picture's buffer could not be had
    Damaged,     // recognised, but malformed or cut short
};

struct CLoadReport
{
    // What the loader that recognised the file took it for; Unknown when none did.
    EPictureFormat format = EPictureFormat::Unknown;
    ELoadProblem problem = ELoadProblem::None;
    // For Unsupported: what cannot be read, as the end of a sentence ("this build cannot
    // decode HEVC").
    QString detail;
    // The size the header gave, for TooLarge and OutOfMemory.
    qint64 width = 0;
    qint64 height = 0;
    // What was done to a picture read whole, or left undone, for the status line.
    QStringList notes;
};

} // namespace quorvel
