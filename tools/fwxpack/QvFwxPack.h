// Makes firmware packages (fwx: an XML document with a Firmware element holding Config and
// Targets; a target element with the image's attributes and its Data blocks as hex text) from
// a binary image. The checksum is the beacon simulator's: CRC-32 (zlib) over the whole image.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

struct TQvFwxPackOptions {
    uint32_t BlockSize = 256;
    int32_t Device = 0;
    std::string Name;
    std::string Timestamp;
    int32_t Section = 1;
    std::optional<int64_t> PartNumber;   // attributes left out when not given
    std::optional<int64_t> PartRevMin;
    std::optional<int64_t> PartRevMax;
    std::optional<int64_t> SerialNumber;
    uint32_t DataFormat = 0;
    std::vector<uint8_t> Signature;      // left out when empty
    std::optional<uint32_t> Checksum;    // instead of the computed one (packages for fault tests)
    std::optional<uint32_t> Length;      // instead of the image length (likewise)
};

class TQvFwxPack {
public:
    TQvFwxPack() = delete;

    // The package as XML text. Fails on an empty image or a zero block size.
    static bool Build(const std::vector<uint8_t>& image, const TQvFwxPackOptions& options, std::string& xml,
                      std::string& error);
    // Builds and writes through a temporary file renamed over `path`.
    static bool WriteFile(const std::string& path, const std::vector<uint8_t>& image,
                          const TQvFwxPackOptions& options, std::string& error);
    static bool ReadImage(const std::string& path, std::vector<uint8_t>& image, std::string& error);
    static uint32_t Checksum(const std::vector<uint8_t>& image);
};
