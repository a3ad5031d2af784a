// Writes the matchable palette entries (10-244) as a 235 x 1 raw PPM to the file named.

#include "image/Palette.h"

#include <cstdio>

int main(int argc, char *argv[])
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUT.ppm\n", argv[0]);
        return 2;
    }
    std::FILE *out = std::fopen(argv[1], "wb");
    if (!out) {
        std::perror(argv[1]);
        return 1;
    }
    using namespace quorvel;
    std::fprintf(out, "P6\n%d 1\n255\n", LastMatchableIndex - FirstMatchableIndex + 1);
    for (int i = FirstMatchableIndex; i <= LastMatchableIndex; ++i)
        std::fwrite(&GamePalette[std::size_t(i)], 3, 1, out);
    return std::fclose(out) == 0 ? 0 : 1;
}
