#include "tools/sim/QvSimDefs.h"

#include "framework/CvFormat.h"
#include "framework/CvText.h"
#include "tools/common/QvToolArgs.h"

#include <array>
#include <utility>

namespace {
using TNamed = std::pair<uint8_t, const char*>;

constexpr std::array<TNamed, 6> kCmds{{
    {SIMCMD_SYS_INFO, "SYS_INFO"},
    {SIMCMD_SYS_ENGINEERING, "SYS_ENGINEERING"},
    {SIMCMD_PROG_INIT, "PROG_INIT"},
    {SIMCMD_PROG_BLOCK, "PROG_BLOCK"},
    {SIMCMD_PROG_UPDATE, "PROG_UPDATE"},
    {SIMCMD_CONFIG_GET, "CONFIG_GET"},
}};

constexpr std::array<TNamed, 11> kStatuses{{
    {SIMST_OK, "OK"},
    {SIMST_FAIL, "FAIL"},
    {SIMST_EEPROM_ERROR, "EEPROM_ERROR"},
    {SIMST_CMD_PARAM_MISSING, "CMD_PARAM_MISSING"},
    {SIMST_CMD_PARAM_INVALID, "CMD_PARAM_INVALID"},
    {SIMST_PROG_FLASH_ERROR, "PROG_FLASH_ERROR"},
    {SIMST_PROG_FIRMWARE_ERROR, "PROG_FIRMWARE_ERROR"},
    {SIMST_PROG_SECTION_ERROR, "PROG_SECTION_ERROR"},
    {SIMST_PROG_LENGTH_ERROR, "PROG_LENGTH_ERROR"},
    {SIMST_PROG_DATA_ERROR, "PROG_DATA_ERROR"},
    {SIMST_PROG_CHECKSUM_ERROR, "PROG_CHECKSUM_ERROR"},
}};

template <size_t N>
std::string NameOf(const std::array<TNamed, N>& table, uint8_t value)
{
    for (const auto& [v, name] : table)
        if (v == value)
            return name;
    return CvFormat("0x%0.2X", static_cast<unsigned>(value));
}

template <size_t N>
bool ValueOf(const std::array<TNamed, N>& table, std::string_view text, uint8_t& value)
{
    for (const auto& [v, name] : table)
        if (CvSameText(text, name)) {
            value = v;
            return true;
        }
    uint64_t number = 0;
    if (!TQvToolArgs::ParseUInt(text, 0xFF, number))
        return false;
    value = static_cast<uint8_t>(number);
    return true;
}
} // namespace

std::string TQvSimDefs::CmdName(uint8_t id)
{
    return NameOf(kCmds, id);
}

bool TQvSimDefs::CmdFromText(std::string_view text, uint8_t& id)
{
    return ValueOf(kCmds, text, id);
}

bool TQvSimDefs::CmdHasStatus(uint8_t id)
{
    return id != SIMCMD_SYS_INFO && id != SIMCMD_CONFIG_GET;
}

std::string TQvSimDefs::StatusName(uint8_t status)
{
    return NameOf(kStatuses, status);
}

bool TQvSimDefs::StatusFromText(std::string_view text, uint8_t& status)
{
    return ValueOf(kStatuses, text, status);
}
