// The result record of one beacon and one operation, and its JSON form: one line of a JSON Lines
// file a factory keeps for traceability. The field names are stable; README.md lists them.
#pragma once

#include "protocol/QvCmdDefs.h"

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

using TQvWallTime = std::chrono::system_clock::time_point;

struct TQvResultRecord {
    std::string Port;
    std::string Operation;               // "program", "info" or "config"
    bool Ok = false;                     // "result": "ok" or "failed"
    std::string Error;                   // the line that ended a failed run; empty when none
    TQvWallTime Started;
    TQvWallTime Finished;
    // Programming only (null in the other operations' records).
    std::string Package;                 // the package path as given
    std::optional<uint32_t> PackageChecksum;
    std::optional<uint64_t> Bytes;       // image bytes the beacon acknowledged
    // The beacon's identity as it last reported it; unknown when it never answered.
    std::optional<TQvCmdInfo> Identity;
};

// The record as one JSON object on one line, without the line end. Every field is present, in
// a fixed order; what does not apply or is not known is null.
std::string QvResultRecordJson(const TQvResultRecord& record);

// "2026-12-11T15:02:03.125+01:00": local time with its offset from UTC, to the millisecond.
std::string QvIsoTime(TQvWallTime time);

// A text as a JSON string literal, quotes included.
std::string QvJsonString(const std::string& text);
