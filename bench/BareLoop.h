#pragma once
// The floor the catalogue is measured against: list the folder and read the first 16 bytes of
// every regular file, in plain standard C++, nothing else.

#include <cstdio>
#include <filesystem>

// Returns the number of files whose first 16 bytes were read, plus the sum of their first
// bytes, so the reads cannot be optimised away.
inline long long BareLoop(const std::filesystem::path &folder)
{
    long long result = 0;
    std::error_code error;
    for (const auto &entry : std::filesystem::directory_iterator(folder, error)) {
        if (!entry.is_regular_file(error))
            continue;
        std::FILE *file = std::fopen(entry.path().c_str(), "rb");
        if (!file)
            continue;
        unsigned char header[16];
        if (std::fread(header, 1, sizeof header, file) == sizeof header)
            result += 1 + header[0];
        std::fclose(file);
    }
    return result;
}
