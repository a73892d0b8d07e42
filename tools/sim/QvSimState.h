// Everything a simulated beacon remembers: hardware identity, firmware sections, hardware
// address, calibrations, the engineering key. Each field has a key name; the same names serve
// the state file ("Key=Value" lines) and the command-line options.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

struct TQvSimHardware {
    uint16_t PartNumber = 0;
    uint8_t PartRevision = 0;
    uint32_t SerialNumber = 0;
    uint16_t FlagsSys = 0;
    uint16_t FlagsUser = 0;
};

struct TQvSimFirmware {
    bool Valid = false;
    uint16_t PartNumber = 0;
    uint8_t Major = 0;
    uint8_t Minor = 0;
    uint16_t Build = 0;
    uint32_t Checksum = 0;
};

// The pressure sensor calibration as the configuration reply carries it (whole bar, and the
// date as day, month, year fields that are sent unchecked).
struct TQvSimPressure {
    uint32_t CalId = 0;
    uint8_t CalType = 0;
    uint16_t CalMin = 0;
    uint16_t CalMax = 0;
    uint8_t CalDay = 1;
    uint8_t CalMonth = 1;
    uint16_t CalYear = 2000;
};

// Six baselines (10, 20, 21, 30, 31, 32), each stored D, C, B, A.
struct TQvSimUsbl {
    bool Valid = false;
    std::array<float, 24> Baseline{};
};

struct TQvSimState {
    uint32_t Uptime = 0;       // seconds at power-on
    uint8_t Section = 1;       // running section: 0 boot, 1 application
    TQvSimHardware Hardware;
    TQvSimFirmware Boot;
    TQvSimFirmware App;
    uint64_t Eui48 = 0;        // low 48 bits
    TQvSimPressure Pressure;
    TQvSimUsbl Usbl;
    std::string EngKey;        // up to 8 characters are compared
    bool EngEnabled = false;
    uint32_t FlashSize = 0;    // bytes available to the application image

    // A plausible beacon that accepts the demo package.
    static TQvSimState Defaults();

    // Sets the field named `key` (case-insensitive) from text; false with `error` otherwise.
    bool Set(std::string_view key, std::string_view value, std::string& error);
    // Every key with its current value, in file order.
    std::vector<std::pair<std::string, std::string>> Fields() const;
    static const std::vector<std::string>& Keys();

    // Reads "Key=Value" lines ("#" or ";" starts a comment) over this state. Unknown keys and
    // bad values fail with the file name and line number; the state is then unchanged.
    bool LoadFile(const std::string& path, std::string& error);
    // Writes all keys through a temporary file renamed over `path`.
    bool SaveFile(const std::string& path, std::string& error) const;
};
