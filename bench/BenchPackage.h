// Packages for the benchmarks: a pseudo-random image in blocks (256 bytes unless told) written by
// the packer.
#pragma once

#include "tools/fwxpack/QvFwxPack.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

// Writes `blocks` blocks of `blockSize` bytes (the same bytes for the same seed) to `fileName`
// in the temporary folder; returns its path, or empty when it cannot be written.
inline std::string QvBenchPackage(const std::string& fileName, size_t blocks, uint32_t seed, const std::string& name,
                                  uint32_t blockSize = 256)
{
    std::vector<uint8_t> image(blocks * blockSize);
    uint32_t x = seed;
    for (uint8_t& b : image) {
        x = x * 1103515245u + 12345u;
        b = static_cast<uint8_t>(x >> 16);
    }
    TQvFwxPackOptions options;
    options.BlockSize = blockSize;
    options.Name = name;
    options.Timestamp = "2026-01-01 00:00:00";
    const std::string path = (std::filesystem::temp_directory_path() / fileName).string();
    std::string error;
    return TQvFwxPack::WriteFile(path, image, options, error) ? path : std::string();
}
