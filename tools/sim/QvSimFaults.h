// Fault injection of the simulated beacon. A selector picks commands (or replies) by kind and
// occurrence: "7" is the 7th of any kind, "PROG_BLOCK:3" the 3rd block, "PROG_BLOCK" every
// block. Kinds are names (SYS_INFO, SYS_ENGINEERING, PROG_INIT, PROG_BLOCK, PROG_UPDATE,
// CONFIG_GET) or identifiers (0x0E, 14).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct TQvSimSelector {
    int Kind = -1;           // command identifier, or -1 for any
    uint32_t Occurrence = 0; // 1-based; 0 for every occurrence

    // `countOfKind` and `countAll` already include the item being tested.
    bool Matches(uint8_t kind, uint32_t countOfKind, uint32_t countAll) const;
    std::string Text() const;
    static bool Parse(std::string_view text, TQvSimSelector& sel, std::string& error);
};

struct TQvSimStatusRule {
    TQvSimSelector Selector;
    uint8_t Status = 0;

    // "SELECTOR=STATUS", the status a name (PROG_FLASH_ERROR, FAIL...) or a number.
    static bool Parse(std::string_view text, TQvSimStatusRule& rule, std::string& error);
};

struct TQvSimFaults {
    std::vector<TQvSimSelector> Drop;      // commands lost: neither acted on nor answered
    std::vector<TQvSimStatusRule> Status;  // commands answered with a status, not acted on
    std::vector<TQvSimSelector> Corrupt;   // replies sent with a wrong checksum (counted per reply)
    std::vector<TQvSimSelector> CloseAt;   // the device is closed when such a command arrives
    uint32_t NoiseBytes = 0;               // random bytes (never "$") before every reply
    uint32_t ChunkSize = 0;                // replies split into chunks of this many bytes...
    uint32_t ChunkPauseMs = 0;             // ...with this pause between them
    bool NoReturn = false;                 // after an update the beacon never comes back
    uint32_t PollAnswer = 0;               // after an update, identification requests before the n-th go unanswered
    bool UpdateInvalid = false;            // an accepted update leaves the application not valid
    std::optional<uint32_t> UpdateChecksum; // an accepted update leaves this application checksum
    uint32_t Seed = 1;                     // noise generator seed

    bool Any() const;
};
