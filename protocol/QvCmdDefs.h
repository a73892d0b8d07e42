// Vocabulary of the beacon protocol: command identifiers, reply status codes, the small
// enumerations and flag sets, and the packed little-endian records the messages carry.
#pragma once

#include "framework/CvNetworking.h"

#include <cstdint>
#include <initializer_list>
#include <string>

// Command identifier: the first byte of every message. Values outside the list travel too.
enum EQvCmdId : uint8_t {
    CID_INVALID = 0x00,
    CID_SYS_ALIVE = 0x01,
    CID_SYS_INFO = 0x02,
    CID_SYS_REBOOT = 0x03,
    CID_SYS_ENGINEERING = 0x04,
    CID_PROG_INIT = 0x0D,
    CID_PROG_BLOCK = 0x0E,
    CID_PROG_UPDATE = 0x0F,
    CID_STATUS_STATE = 0x10,
    CID_STATUS_CFG_GET = 0x11,
    CID_STATUS_CFG_SET = 0x12,
    CID_SETTINGS_GET = 0x15,
    CID_SETTINGS_SET = 0x16,
    CID_SETTINGS_LOAD = 0x17,
    CID_SETTINGS_SAVE = 0x18,
    CID_SETTINGS_RESET = 0x19,
    CID_CONFIG_GET = 0x1A, // configuration query and reply; shown as "UNKNOWN"
    CID_CAL_ACTION = 0x20,
    CID_AHRS_CAL_GET = 0x21,
    CID_AHRS_CAL_SET = 0x22,
    CID_XCVR_ANALYSE = 0x30,
    CID_XCVR_TX_MSG = 0x31,
    CID_XCVR_RX_ERROR = 0x32,
    CID_XCVR_RX_MSG = 0x33,
    CID_XCVR_RX_REQ = 0x34,
    CID_XCVR_RX_RESP = 0x35,
    CID_XCVR_RX_UNHANDLED = 0x37,
    CID_XCVR_USBL = 0x38,
    CID_XCVR_FIX = 0x39,
    CID_XCVR_STATUS = 0x3A,
    CID_PING_SEND = 0x40,
    CID_PING_REQ = 0x41,
    CID_PING_RESP = 0x42,
    CID_PING_ERROR = 0x43,
    CID_ECHO_SEND = 0x48,
    CID_ECHO_REQ = 0x49,
    CID_ECHO_RESP = 0x4A,
    CID_ECHO_ERROR = 0x4B,
    CID_NAV_QUERY_SEND = 0x50,
    CID_NAV_QUERY_REQ = 0x51,
    CID_NAV_QUERY_RESP = 0x52,
    CID_NAV_ERROR = 0x53,
    CID_NAV_REF_POS_SEND = 0x54,
    CID_NAV_REF_POS_UPDATE = 0x55,
    CID_NAV_BEACON_POS_SEND = 0x56,
    CID_NAV_BEACON_POS_UPDATE = 0x57,
    CID_DAT_SEND = 0x60,
    CID_DAT_RECEIVE = 0x61,
    CID_DAT_ERROR = 0x63,
    CID_DAT_QUEUE_SET = 0x64,
    CID_DAT_QUEUE_CLR = 0x65,
    CID_DAT_QUEUE_STATUS = 0x66,
    CID_DEX_CLOSE = 0x70,
    CID_DEX_DEBUG = 0x71,
    CID_DEX_ENQUEUE = 0x72,
    CID_DEX_OPEN = 0x73,
    CID_DEX_RESET = 0x74,
    CID_DEX_SEND = 0x75,
    CID_DEX_SOCKETS = 0x76,
    CID_DEX_RECEIVE = 0x77,
};

// Reply status code. Values outside the list travel too.
enum EQvCmdStatus : uint8_t {
    CST_OK = 0x00,
    CST_FAIL = 0x01,
    CST_EEPROM_ERROR = 0x03,
    CST_CMD_PARAM_MISSING = 0x04,
    CST_CMD_PARAM_INVALID = 0x05,
    CST_PROG_FLASH_ERROR = 0x0A,
    CST_PROG_FIRMWARE_ERROR = 0x0B,
    CST_PROG_SECTION_ERROR = 0x0C,
    CST_PROG_LENGTH_ERROR = 0x0D,
    CST_PROG_DATA_ERROR = 0x0E,
    CST_PROG_CHECKSUM_ERROR = 0x0F,
    CST_XCVR_BUSY = 0x30,
    CST_XCVR_ID_REJECTED = 0x31,
    CST_XCVR_CHECKSUM_ERROR = 0x32,
    CST_XCVR_LENGTH_ERROR = 0x33,
    CST_XCVR_RESPONSE_TIMEOUT = 0x34,
    CST_XCVR_RESPONSE_ERROR = 0x35,
    CST_XCVR_RESPONSE_WRONG = 0x36,
    CST_XCVR_PAYLOAD_ERROR = 0x37,
    CST_XCVR_STATUS_STOPPED = 0x3A,
    CST_XCVR_STATUS_IDLE = 0x3B,
    CST_XCVR_STATUS_TX = 0x3C,
    CST_XCVR_STATUS_REQ = 0x3D,
    CST_XCVR_STATUS_RX = 0x3E,
    CST_XCVR_STATUS_RESP = 0x3F,
    CST_DEX_SOCKET_ERROR = 0x70,
    CST_DEX_RX_SYNC = 0x71,
    CST_DEX_RX_DATA = 0x72,
    CST_DEX_RX_SEQ_ERROR = 0x73,
    CST_DEX_RX_MSG_ERROR = 0x74,
    CST_DEX_REQ_ERROR = 0x75,
    CST_DEX_RESP_TMO_ERROR = 0x76,
    CST_DEX_RESP_MSG_ERROR = 0x77,
    CST_DEX_RESP_REMOTE_ERROR = 0x78,
};

// Acoustic message type.
enum EQvCmdAcoMsgType : uint8_t {
    MSG_ONE_WAY = 0,
    MSG_ONE_WAY_USBL = 1,
    MSG_REQUEST = 2,
    MSG_RESPONSE = 3,
    MSG_REQUEST_USBL = 4,
    MSG_RESPONSE_USBL = 5,
    MSG_REQUEST_EXTENDED = 6,
    MSG_RESPONSE_EXTENDED = 7,
};

// Acoustic payload identifier.
enum EQvCmdAcoPayloadId : uint8_t {
    ACO_PLOAD_PING = 0,
    ACO_PLOAD_ECHO = 1,
    ACO_PLOAD_NAV = 2,
    ACO_PLOAD_DAT = 3,
    ACO_PLOAD_DEX = 4,
};

// Pressure sensor calibration type.
enum EQvCmdPressureSensorType : uint8_t {
    PRESSURE_CAL_TYPE_PR = 0,
    PRESSURE_CAL_TYPE_PA = 1,
    PRESSURE_CAL_TYPE_PAA = 2,
    PRESSURE_CAL_TYPE_AUX = 3,
};

enum EQvCmdStatusField : uint8_t {
    STATUS_FIELD_ENVIRONMENT,
    STATUS_FIELD_ATTITUDE,
    STATUS_FIELD_MAG_CAL,
    STATUS_FIELD_ACC_CAL,
    STATUS_FIELD_SENSOR_RAW,
    STATUS_FIELD_SENSOR_COMP,
};

enum EQvCmdNavQueryFlag : uint8_t {
    NAV_QUERY_DEPTH,
    NAV_QUERY_SUPPLY,
    NAV_QUERY_TEMP,
    NAV_QUERY_ATTITUDE,
};

enum EQvCmdXcvrFixFlag : uint8_t {
    FIX_RANGE_VALID,
    FIX_USBL_VALID,
    FIX_POSITION_VALID,
    FIX_POSITION_ENHANCED,
    FIX_POSITION_FLTERR,
};

// A set of the first `TCount` members of an enumeration, member n held in bit n.
template <typename TEnum, unsigned TCount>
class TQvCmdFlagSet {
    static_assert(TCount <= 8, "a flag set fits one byte");

public:
    constexpr TQvCmdFlagSet() = default;
    constexpr TQvCmdFlagSet(std::initializer_list<TEnum> members)
    {
        for (TEnum m : members)
            Include(m);
    }

    // Every member of the enumeration.
    static constexpr TQvCmdFlagSet Full()
    {
        TQvCmdFlagSet s;
        s.fBits = static_cast<uint8_t>((1u << TCount) - 1u);
        return s;
    }

    constexpr bool Contains(TEnum m) const { return Valid(m) && (fBits & Bit(m)) != 0; }
    constexpr void Include(TEnum m)
    {
        if (Valid(m))
            fBits = static_cast<uint8_t>(fBits | Bit(m));
    }
    constexpr void Exclude(TEnum m)
    {
        if (Valid(m))
            fBits = static_cast<uint8_t>(fBits & ~Bit(m));
    }
    constexpr bool Empty() const { return fBits == 0; }
    // The set as a byte, member n in bit n.
    constexpr uint8_t Bits() const { return fBits; }
    // The set from a byte; bits beyond the enumeration are dropped.
    static constexpr TQvCmdFlagSet FromBits(uint8_t bits)
    {
        TQvCmdFlagSet s;
        s.fBits = static_cast<uint8_t>(bits & Full().fBits);
        return s;
    }

    constexpr bool operator==(const TQvCmdFlagSet&) const = default;

private:
    static constexpr bool Valid(TEnum m) { return static_cast<unsigned>(m) < TCount; }
    static constexpr uint8_t Bit(TEnum m) { return static_cast<uint8_t>(1u << static_cast<unsigned>(m)); }

    uint8_t fBits = 0;
};

using TQvCmdStatusFields = TQvCmdFlagSet<EQvCmdStatusField, 6>;
using TQvCmdNavQueryFlags = TQvCmdFlagSet<EQvCmdNavQueryFlag, 4>;
using TQvCmdXcvrFixFlags = TQvCmdFlagSet<EQvCmdXcvrFixFlag, 5>;

// Records exactly as the messages carry them: packed, little-endian, copied by value.
// Their fields may be misaligned: read and pass them by value (a const reference or a pointer
// to a field, as in std::min(rec.Field, x) or a test assertion on it, is undefined behaviour).
#pragma pack(push, 1)

struct TQvCmdInfoHardware {
    uint16_t PartNumber = 0;   // shown as five digits
    uint8_t PartRevision = 0;
    uint32_t SerialNumber = 0; // shown as six digits
    uint16_t FlagsSys = 0;
    uint16_t FlagsUser = 0;
};

struct TQvCmdInfoFirmwareVersion {
    uint8_t Major = 0;
    uint8_t Minor = 0;
    uint16_t Build = 0;
};

struct TQvCmdInfoFirmware {
    bool Valid = false;
    uint16_t PartNumber = 0;
    TQvCmdInfoFirmwareVersion Version;
    uint32_t Checksum = 0;
};

struct TQvCmdInfo {
    uint32_t Uptime = 0; // seconds since the beacon started
    uint8_t Section = 0; // running section: 0 bootloader, 1 application
    TQvCmdInfoHardware Hardware;
    TQvCmdInfoFirmware Boot;
    TQvCmdInfoFirmware App;
};

struct TQvCmdPressureSensor {
    uint32_t CalId = 0;
    EQvCmdPressureSensorType CalType = PRESSURE_CAL_TYPE_PR;
    float CalMin = 0; // bar
    float CalMax = 0; // bar
    double CalDate = 0; // days since 1899-12-30, fraction = time of day
};

// Six baselines 1-0, 2-0, 2-1, 3-0, 3-1, 3-2, each as four coefficients stored D, C, B, A.
struct TQvCmdUsblCal {
    static constexpr int BaselineCount = 6;
    static constexpr int CoefCount = 4;
    // Index of a coefficient within a baseline's four.
    enum ECoef : uint8_t { COEF_D = 0, COEF_C = 1, COEF_B = 2, COEF_A = 3 };

    bool Valid = false;
    float Baseline[BaselineCount * CoefCount] = {};

    // Every baseline D 0, C 1.0, B 0, A 0; validity unchanged.
    void SetNeutral()
    {
        for (int k = 0; k < BaselineCount; ++k) {
            Baseline[k * CoefCount + COEF_D] = 0.0f;
            Baseline[k * CoefCount + COEF_C] = 1.0f;
            Baseline[k * CoefCount + COEF_B] = 0.0f;
            Baseline[k * CoefCount + COEF_A] = 0.0f;
        }
    }
};

struct TQvCmdConfig {
    TCvMacAddress MacAddr; // low 48 bits used
    TQvCmdPressureSensor PressureSensor;
    TQvCmdUsblCal UsblCal;
};

struct TQvCmdEngineeringConfig {
    bool EngMode = false; // true: identity and USBL calibration; false: user flags only
    TQvCmdInfoHardware Hardware;
    TQvCmdUsblCal UsblCal;
};

#pragma pack(pop)

static_assert(sizeof(bool) == 1);
static_assert(sizeof(TQvCmdInfoHardware) == 11);
static_assert(sizeof(TQvCmdInfoFirmwareVersion) == 4);
static_assert(sizeof(TQvCmdInfoFirmware) == 11);
static_assert(sizeof(TQvCmdInfo) == 38);
static_assert(sizeof(TQvCmdPressureSensor) == 21);
static_assert(sizeof(TQvCmdUsblCal) == 97);
static_assert(sizeof(TQvCmdConfig) == 126);
static_assert(sizeof(TQvCmdEngineeringConfig) == 109);

// Display strings and flag conversions (class-level only).
class TQvCmdDefs {
public:
    TQvCmdDefs() = delete;

    static std::string GetCmdIdString(uint8_t cmdId);
    static std::string GetCmdStatusString(uint8_t status);
    static std::string GetMsgTypeString(uint8_t msgType);
    // Looks at the low 7 bits only.
    static std::string GetPayloadIdString(uint8_t payloadId);
    static std::string GetBeaconIdString(uint8_t beaconId);
    static std::string GetPressureSensorType(uint8_t calType);

    static TQvCmdStatusFields GetStatusFieldFlags(uint8_t bits);
    static uint8_t GetStatusFieldBits(TQvCmdStatusFields flags);
    static TQvCmdNavQueryFlags GetNavQueryFlags(uint8_t bits);
    static uint8_t GetNavQueryBits(TQvCmdNavQueryFlags flags);
    static TQvCmdXcvrFixFlags GetFixFlags(uint8_t bits);
    static uint8_t GetFixBits(TQvCmdXcvrFixFlags flags);
};
