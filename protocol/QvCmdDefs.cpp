#include "protocol/QvCmdDefs.h"

#include <iterator>
#include <string>

namespace {

const char* const kUnknown = "UNKNOWN";

const char* CmdIdName(uint8_t id)
{
    switch (id) {
    case CID_INVALID: return "INVALID";
    case CID_SYS_ALIVE: return "SYS_ALIVE";
    case CID_SYS_INFO: return "SYS_INFO";
    case CID_SYS_REBOOT: return "SYS_REBOOT";
    case CID_SYS_ENGINEERING: return "SYS_ENGINEERING";
    case CID_PROG_INIT: return "PROG_INIT";
    case CID_PROG_BLOCK: return "PROG_BLOCK";
    case CID_PROG_UPDATE: return "PROG_UPDATE";
    case CID_STATUS_STATE: return "STATUS_STATE";
    case CID_STATUS_CFG_GET: return "STATUS_CFG_GET";
    case CID_STATUS_CFG_SET: return "STATUS_CFG_SET";
    case CID_SETTINGS_GET: return "SETTINGS_GET";
    case CID_SETTINGS_SET: return "SETTINGS_SET";
    case CID_SETTINGS_LOAD: return "SETTINGS_LOAD";
    case CID_SETTINGS_SAVE: return "SETTINGS_SAVE";
    case CID_SETTINGS_RESET: return "SETTINGS_RESET";
    case CID_CAL_ACTION: return "CAL_ACTION";
    case CID_AHRS_CAL_GET: return "AHRS_CAL_GET";
    case CID_AHRS_CAL_SET: return "AHRS_CAL_SET";
    case CID_XCVR_ANALYSE: return "XCVR_ANALYSE";
    case CID_XCVR_TX_MSG: return "XCVR_TX_MSG";
    case CID_XCVR_RX_ERROR: return "XCVR_RX_ERROR";
    case CID_XCVR_RX_MSG: return "XCVR_RX_MSG";
    case CID_XCVR_RX_REQ: return "XCVR_RX_REQ";
    case CID_XCVR_RX_RESP: return "XCVR_RX_RESP";
    case CID_XCVR_RX_UNHANDLED: return "XCVR_RX_UNHANDLED";
    case CID_XCVR_USBL: return "XCVR_USBL";
    case CID_XCVR_FIX: return "XCVR_FIX";
    case CID_XCVR_STATUS: return "XCVR_STATUS";
    case CID_PING_SEND: return "PING_SEND";
    case CID_PING_REQ: return "PING_REQ";
    case CID_PING_RESP: return "PING_RESP";
    case CID_PING_ERROR: return "PING_ERROR";
    case CID_ECHO_SEND: return "ECHO_SEND";
    case CID_ECHO_REQ: return "ECHO_REQ";
    case CID_ECHO_RESP: return "ECHO_RESP";
    case CID_ECHO_ERROR: return "ECHO_ERROR";
    case CID_NAV_QUERY_SEND: return "NAV_QUERY_SEND";
    case CID_NAV_QUERY_REQ: return "NAV_QUERY_REQ";
    case CID_NAV_QUERY_RESP: return "NAV_QUERY_RESP";
    case CID_NAV_ERROR: return "NAV_ERROR";
    case CID_NAV_REF_POS_SEND: return "NAV_REF_POS_SEND";
    case CID_NAV_REF_POS_UPDATE: return "NAV_REF_POS_UPDATE";
    case CID_NAV_BEACON_POS_SEND: return "NAV_BEACON_POS_SEND";
    case CID_NAV_BEACON_POS_UPDATE: return "NAV_BEACON_POS_UPDATE";
    case CID_DAT_SEND: return "DAT_SEND";
    case CID_DAT_RECEIVE: return "DAT_RECEIVE";
    case CID_DAT_ERROR: return "DAT_ERROR";
    case CID_DAT_QUEUE_SET: return "DAT_QUEUE_SET";
    case CID_DAT_QUEUE_CLR: return "DAT_QUEUE_CLR";
    case CID_DAT_QUEUE_STATUS: return "DAT_QUEUE_STATUS";
    case CID_DEX_CLOSE: return "DEX_CLOSE";
    case CID_DEX_DEBUG: return "DEX_DEBUG";
    case CID_DEX_ENQUEUE: return "DEX_ENQUEUE";
    case CID_DEX_OPEN: return "DEX_OPEN";
    case CID_DEX_RESET: return "DEX_RESET";
    case CID_DEX_SEND: return "DEX_SEND";
    case CID_DEX_SOCKETS: return "DEX_SOCKETS";
    case CID_DEX_RECEIVE: return "DEX_RECEIVE";
    default: return kUnknown; // CID_CONFIG_GET has no display string of its own
    }
}

const char* StatusName(uint8_t status)
{
    switch (status) {
    case CST_OK: return "OK";
    case CST_FAIL: return "FAIL";
    case CST_EEPROM_ERROR: return "EEPROM_ERROR";
    case CST_CMD_PARAM_MISSING: return "CMD_PARAM_MISSING";
    case CST_CMD_PARAM_INVALID: return "CMD_PARAM_INVALID";
    case CST_PROG_FLASH_ERROR: return "PROG_FLASH_ERROR";
    case CST_PROG_FIRMWARE_ERROR: return "PROG_FIRMWARE_ERROR";
    case CST_PROG_SECTION_ERROR: return "PROG_SECTION_ERROR";
    case CST_PROG_LENGTH_ERROR: return "PROG_LENGTH_ERROR";
    case CST_PROG_DATA_ERROR: return "PROG_DATA_ERROR";
    case CST_PROG_CHECKSUM_ERROR: return "PROG_CHECKSUM_ERROR";
    case CST_XCVR_BUSY: return "XCVR_BUSY";
    case CST_XCVR_ID_REJECTED: return "XCVR_ID_REJECTED";
    case CST_XCVR_CHECKSUM_ERROR: return "XCVR_CHECKSUM_ERROR";
    case CST_XCVR_LENGTH_ERROR: return "XCVR_LENGTH_ERROR";
    case CST_XCVR_RESPONSE_TIMEOUT: return "XCVR_RESPONSE_TIMEOUT";
    case CST_XCVR_RESPONSE_ERROR: return "XCVR_RESPONSE_ERROR";
    case CST_XCVR_RESPONSE_WRONG: return "XCVR_RESPONSE_WRONG";
    case CST_XCVR_PAYLOAD_ERROR: return "XCVR_PAYLOAD_ERROR";
    case CST_XCVR_STATUS_STOPPED: return "XCVR_STATUS_STOPPED";
    case CST_XCVR_STATUS_IDLE: return "XCVR_STATUS_IDLE";
    case CST_XCVR_STATUS_TX: return "XCVR_STATUS_TX";
    case CST_XCVR_STATUS_REQ: return "XCVR_STATUS_REQ";
    case CST_XCVR_STATUS_RX: return "XCVR_STATUS_RX";
    case CST_XCVR_STATUS_RESP: return "XCVR_STATUS_RESP";
    case CST_DEX_SOCKET_ERROR: return "DEX_SOCKET_ERROR";
    case CST_DEX_RX_SYNC: return "DEX_RX_SYNC";
    case CST_DEX_RX_DATA: return "DEX_RX_DATA";
    case CST_DEX_RX_SEQ_ERROR: return "DEX_RX_SEQ_ERROR";
    case CST_DEX_RX_MSG_ERROR: return "DEX_RX_MSG_ERROR";
    case CST_DEX_REQ_ERROR: return "DEX_REQ_ERROR";
    case CST_DEX_RESP_TMO_ERROR: return "DEX_RESP_TMO_ERROR";
    case CST_DEX_RESP_MSG_ERROR: return "DEX_RESP_MSG_ERROR";
    case CST_DEX_RESP_REMOTE_ERROR: return "DEX_RESP_REMOTE_ERROR";
    default: return kUnknown;
    }
}

} // namespace

std::string TQvCmdDefs::GetCmdIdString(uint8_t cmdId)
{
    return CmdIdName(cmdId);
}

std::string TQvCmdDefs::GetCmdStatusString(uint8_t status)
{
    return StatusName(status);
}

std::string TQvCmdDefs::GetMsgTypeString(uint8_t msgType)
{
    static const char* const names[] = {"ONE-WAY",      "ONE-WAY_USBL",  "REQUEST",          "RESPONSE",
                                        "REQUEST_USBL", "RESPONSE_USBL", "REQUEST_EXTENDED", "RESPONSE_EXTENDED"};
    return msgType < std::size(names) ? names[msgType] : kUnknown;
}

std::string TQvCmdDefs::GetPayloadIdString(uint8_t payloadId)
{
    static const char* const names[] = {"PING", "ECHO", "NAV", "DAT", "DEX"};
    const uint8_t id = payloadId & 0x7F;
    return id < std::size(names) ? names[id] : kUnknown;
}

std::string TQvCmdDefs::GetBeaconIdString(uint8_t beaconId)
{
    if (beaconId == 0)
        return "ALL_BEACONS";
    if (beaconId <= 15)
        return "BEACON_" + std::to_string(beaconId);
    return "INVALID_ID";
}

std::string TQvCmdDefs::GetPressureSensorType(uint8_t calType)
{
    static const char* const names[] = {"PR", "PA", "PAA", "AUX"};
    return calType < std::size(names) ? names[calType] : kUnknown;
}

TQvCmdStatusFields TQvCmdDefs::GetStatusFieldFlags(uint8_t bits)
{
    return TQvCmdStatusFields::FromBits(bits);
}

uint8_t TQvCmdDefs::GetStatusFieldBits(TQvCmdStatusFields flags)
{
    return flags.Bits();
}

TQvCmdNavQueryFlags TQvCmdDefs::GetNavQueryFlags(uint8_t bits)
{
    return TQvCmdNavQueryFlags::FromBits(bits);
}

uint8_t TQvCmdDefs::GetNavQueryBits(TQvCmdNavQueryFlags flags)
{
    return flags.Bits();
}

TQvCmdXcvrFixFlags TQvCmdDefs::GetFixFlags(uint8_t bits)
{
    return TQvCmdXcvrFixFlags::FromBits(bits);
}

uint8_t TQvCmdDefs::GetFixBits(TQvCmdXcvrFixFlags flags)
{
    return flags.Bits();
}
