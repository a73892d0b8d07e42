// Packages for the benchmarks: a pseudo-random image of 256-byte blocks written by the packer.
#pragma once

#include "tools/fwxpack/QvFwxPack.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

// Writes `blocks` blocks of 256 bytes (the same bytes for the same seed) to `fileName` in the
// temporary folder; returns its path, or empty when it cannot be written.
inline std::string QvBenchPackage(const std::string& fileName, size_t blocks, uint32_t seed, const std::string& name)
{
    std::vector<uint8_t> image(blocks * 256);
    uint32_t x = seed;
    for (uint8_t& b : image) {
        x = x * 1103515245u + 12345u;
        b = static_cast<uint8_t>(x >> 16);
    }
    TQvFwxPackOptions options;
    options.BlockSize = 256;
    options.Name = name;
    options.Timestamp = "2026-01-01 00:00:00";
    const std::string path = (std::filesystem::temp_directory_path() / fileName).string();
    std::string error;
    return TQvFwxPack::WriteFile(path, image, options, error) ? path : std::string();
}
