#include "image/FaceLevels.h"

#include <algorithm>

namespace quorvel {

namespace {

#include "FaceModel.inc"

CGrey Resized(const CGrey &source, double scale)
{
    CGrey target;
    target.set_size(std::max(1L, std::lround(double(source.nr()) * scale)),
                    std::max(1L, std::lround(double(source.nc()) * scale)));
    ResizeGrey(source, target);
    return target;
}

// One step down dlib's pyramid (pyramid_down<6>): 5/6 of the size, rounded down.
void StepDown(const CGrey &source, CGrey &target)
{
    target.set_size(5 * source.nr() / 6, 5 * source.nc() / 6);
    ResizeGrey(source, target);
}

bool TooSmall(const CGrey &picture)
{
    return picture.nc() < long(kModelMinLevelWidth) || picture.nr() < long(kModelMinLevelHeight);
}

} // namespace

QSize CoarseLevelSize(int copyWidth, int copyHeight, unsigned long last)
{
    long rows = std::max(1L, std::lround(double(copyHeight) * LevelScale(2)));
    long columns = std::max(1L, std::lround(double(copyWidth) * LevelScale(2)));
    for (unsigned long level = 3; level <= last; ++level) {
        rows = 5 * rows / 6;
        columns = 5 * columns / 6;
    }
    return QSize(int(columns), int(rows));
}

void CLevelPictures::MakeCoarse(const CGrey &source, long copyRows, long copyColumns)
{
    const QSize size = CoarseLevelSize(int(copyColumns), int(copyRows), kCoarseLevel - 1);
    CGrey before;
    before.set_size(size.height(), size.width());
    ResizeGrey(source, before);
    StepDown(before, pictures[kCoarseLevel]);
    made[kCoarseLevel] = !TooSmall(pictures[kCoarseLevel]);
    if (made[kCoarseLevel])
        Make(kCoarseLevel + 1, kKeptLevels, false);
}

void CLevelPictures::Make(unsigned long from, unsigned long to, bool fromCopy)
{
    for (unsigned long level = from; level < to; ++level) {
        if (level == from && fromCopy) {
            CGrey fresh = Resized(copy, LevelScale(level));
            dlib::swap(pictures[level], fresh);
        } else {
            StepDown(pictures[level - 1], pictures[level]);
        }
        made[level] = level == 0 || !TooSmall(pictures[level]);
        if (!made[level])
            break;
    }
}

void CLevelPictures::StepDownTo(unsigned long level)
{
    StepDown(pictures[level - 1], pictures[level]);
    made[level] = !TooSmall(pictures[level]);
}

void CLevelPictures::Free(const CLevels &levels)
{
    for (unsigned long level = levels.first;
         level < std::min(kKeptLevels, levels.first + levels.count); ++level)
        pictures[level].clear();
}

} // namespace quorvel
