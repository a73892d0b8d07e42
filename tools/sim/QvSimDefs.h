// The simulator's own view of the beacon protocol: the command identifiers it answers and the
// status codes it sends. Kept apart from the program's protocol units on purpose, so that a
// wrong value on one side is not mirrored by the other.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

enum EQvSimCmd : uint8_t {
    SIMCMD_SYS_INFO = 0x02,
    SIMCMD_SYS_ENGINEERING = 0x04,
    SIMCMD_PROG_INIT = 0x0D,
    SIMCMD_PROG_BLOCK = 0x0E,
    SIMCMD_PROG_UPDATE = 0x0F,
    SIMCMD_CONFIG_GET = 0x1A,
};

enum EQvSimStatus : uint8_t {
    SIMST_OK = 0x00,
    SIMST_FAIL = 0x01,
    SIMST_EEPROM_ERROR = 0x03,
    SIMST_CMD_PARAM_MISSING = 0x04,
    SIMST_CMD_PARAM_INVALID = 0x05,
    SIMST_PROG_FLASH_ERROR = 0x0A,
    SIMST_PROG_FIRMWARE_ERROR = 0x0B,
    SIMST_PROG_SECTION_ERROR = 0x0C,
    SIMST_PROG_LENGTH_ERROR = 0x0D,
    SIMST_PROG_DATA_ERROR = 0x0E,
    SIMST_PROG_CHECKSUM_ERROR = 0x0F,
};

// Engineering actions.
enum EQvSimEngAction : uint8_t {
    SIMENG_QUERY = 0,
    SIMENG_ENABLE = 1,
    SIMENG_HARDWARE = 2,
    SIMENG_USER_FLAGS = 3,
    SIMENG_USBL_CAL = 32,
};

class TQvSimDefs {
public:
    TQvSimDefs() = delete;

    // Reply sizes in bytes (identifier included, checksum excluded).
    static constexpr size_t SysInfoReplySize = 39;
    static constexpr size_t ConfigReplySize = 117;
    static constexpr size_t ProgInitRequestSize = 39;

    // "SYS_INFO", "CONFIG_GET", ...; "0xNN" for others.
    static std::string CmdName(uint8_t id);
    // A name above (any case) or a number (decimal or 0x hex) to an identifier.
    static bool CmdFromText(std::string_view text, uint8_t& id);
    // Whether the command's reply carries a status byte.
    static bool CmdHasStatus(uint8_t id);
    static std::string StatusName(uint8_t status);
    static bool StatusFromText(std::string_view text, uint8_t& status);
};
