#pragma once
// The pictures of the face detector's pyramid levels, for FaceDetector.cpp only: made once for
// all the search's stages, each by dlib's own steps, and freed as soon as nothing needs them.

#include "image/FaceDetector.h"
#include "image/GreyResize.h"

#include <QSize>

#include <cmath>

namespace quorvel {

// The detector scans a pyramid of its picture, level k at kFaceUpsample * (5/6)^k of the grey
// copy, each finding faces of about 80 pixels there. The finest levels cost the most (the
// first four three quarters of the whole) and find the smallest faces, so the search goes from
// the coarse levels to the fine ones in stages.
inline constexpr double kLevelStep = 5.0 / 6.0;
inline constexpr unsigned long kCoarseLevel = 7; // the finest level the first stage scans
inline constexpr unsigned long kKeptLevels = 10; // the stages' parts start at levels 0 to 9

inline double LevelScale(unsigned long level)
{
    return kFaceUpsample * std::pow(kLevelStep, double(level));
}

struct CLevels
{
    unsigned long first = 0; // the finest level scanned
    unsigned long count = 0; // how many levels from it, at most
};

// The size of a level (kCoarseLevel or finer) for a copy of that size: level 2 as the copy is
// resized to it, then dlib's steps.
QSize CoarseLevelSize(int copyWidth, int copyHeight, unsigned long last = kCoarseLevel);

// The pictures of the grey copy's pyramid levels, made once for all stages: levels 0 and 1
// from the copy enlarged kFaceUpsample times, the others from it enlarged to level 2's
// scale, each by dlib's own steps from there, as dlib's pyramid makes them. A level is there
// only while it is no smaller than the detector's smallest, as dlib's pyramid stops before it
// (level 0 always is).
struct CLevelPictures
{
    explicit CLevelPictures(CGrey &grey) { dlib::swap(copy, grey); }

    // The coarse stage's levels made from a smaller picture of a copy of copyRows x
    // copyColumns, at the sizes the copy's own steps give them: the level before the first
    // resized from it, then dlib's steps, the last of which smooths as the copy's chain does.
    // A large face then needs neither the copy nor the finer levels.
    void MakeCoarse(const CGrey &source, long copyRows, long copyColumns);
    // Levels from..to - 1, the first made anew from the copy, each other from the one before.
    void Make(unsigned long from, unsigned long to, bool fromCopy = true);
    // Level level from the one before, as Make makes it.
    void StepDownTo(unsigned long level);
    // Only what is still to be scanned or made from is kept, so the search holds little more
    // than the levels it is scanning.
    void Free(const CLevels &levels);

    CGrey copy;
    CGrey pictures[kKeptLevels];
    bool made[kKeptLevels] = {};
};

} // namespace quorvel
