// Firmware package (fwx) reader: the XML document of firmware targets with hex-encoded blocks,
// read into the target record the programming engine sends to the beacon.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class TCvLogSink;

namespace pugi {
class xml_node;
}

// Result of the engine's public operations.
enum EQvFlashProgReturn : uint8_t {
    FP_OK,             // the operation started
    FP_ERR_COMMS,      // the serial port is not connected
    FP_ERR_FILEOPEN,   // another operation is in progress
    FP_ERR_FILENAME,   // the firmware file does not exist
    FP_ERR_FILEFORMAT, // not a usable XML package
    FP_ERR_TARGET,     // no target for device 0
    FP_ERR_TARGETDATA  // the target's attributes or data are invalid
};

// One block of firmware data, in file order.
struct TQvFlashProgBlock {
    int32_t Block = 0;         // sequence number from the file (0 for the first)
    int32_t Length = 0;        // declared length in bytes
    std::vector<uint8_t> Data; // the bytes; Data.size() == Length
};

// The selected firmware target.
struct TQvFlashProgTarget {
    int32_t Device = 0;
    std::string Name;
    std::string Timestamp;
    int32_t Section = 0;
    uint32_t PartNumber = 0;
    uint8_t PartRevisionMin = 0;
    uint8_t PartRevisionMax = 0;
    uint32_t SerialNumber = 0;
    uint8_t DataFormat = 0;
    uint32_t Length = 0;
    uint32_t Checksum = 0;
    std::vector<uint8_t> Signature;
    std::vector<TQvFlashProgBlock> Block;

    // Releases the texts and arrays (the numbers are all assigned by the next read).
    void Release();
};

class TQvFlashProgFile {
public:
    TQvFlashProgFile() = delete;

    // The reports go to `log`, or to the program-wide log when it is nullptr.

    // True when `filename` names an existing file; otherwise logs the missing-file error.
    static bool CheckFile(const std::string& filename, TCvLogSink* log = nullptr);

    // Parses the package, selects the target for device 0, reads it into `target` and logs the
    // summary. Every failure is logged and returned as its code; the document is released on
    // return in every case. `target` is released before it is read.
    static EQvFlashProgReturn Load(const std::string& filename, TQvFlashProgTarget& target,
                                   TCvLogSink* log = nullptr);

    // The summary Load logs for a target it has read ("Firmware sucessfully loaded..." on).
    static void LogSummary(const TQvFlashProgTarget& target, TCvLogSink* log = nullptr);

    // First child of `targets` whose "Device" attribute equals `device`; an empty node when none.
    static pugi::xml_node FindTarget(const pugi::xml_node& targets, int32_t device);

    // Fills `target` from the target element and its "Data" children and validates it, logging
    // each failure; true when the target is usable.
    static bool ReadTarget(const pugi::xml_node& node, TQvFlashProgTarget& target, TCvLogSink* log = nullptr);
};
