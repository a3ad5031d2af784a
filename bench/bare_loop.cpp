// The bare loop as a whole process, beside `quorvel-tool list --json` (see bench_store).

#include "BareLoop.h"

#include <cstdio>

int main(int argc, char *argv[])
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
        return 2;
    }
    std::printf("%lld\n", BareLoop(argv[1]));
    return 0;
}
