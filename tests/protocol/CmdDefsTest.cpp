#include "protocol/QvCmdDefs.h"

#include "tests/protocol/ProtocolTestHelpers.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

TEST(QvCmdDefs, DisplayStrings)
{
    using TFunc = std::string (*)(uint8_t);
    struct Case {
        TFunc func;
        int value;
        const char* text;
    };
    const TFunc id = &TQvCmdDefs::GetCmdIdString;
    const TFunc st = &TQvCmdDefs::GetCmdStatusString;
    const TFunc mt = &TQvCmdDefs::GetMsgTypeString;
    const TFunc pl = &TQvCmdDefs::GetPayloadIdString;
    const TFunc bc = &TQvCmdDefs::GetBeaconIdString;
    const TFunc pr = &TQvCmdDefs::GetPressureSensorType;
    const Case cases[] = {
        {id, 0x00, "INVALID"},        {id, 0x02, "SYS_INFO"},         {id, 0x04, "SYS_ENGINEERING"},
        {id, 0x0D, "PROG_INIT"},      {id, 0x0F, "PROG_UPDATE"},      {id, 0x19, "SETTINGS_RESET"},
        {id, 0x35, "XCVR_RX_RESP"},   {id, 0x37, "XCVR_RX_UNHANDLED"}, {id, 0x3A, "XCVR_STATUS"},
        {id, 0x57, "NAV_BEACON_POS_UPDATE"}, {id, 0x63, "DAT_ERROR"}, {id, 0x77, "DEX_RECEIVE"},
        // gaps and the configuration query have no name of their own
        {id, 0x1A, "UNKNOWN"},        {id, 0x05, "UNKNOWN"},          {id, 0xFF, "UNKNOWN"},
        {id, 0x36, "UNKNOWN"},        {id, 0x62, "UNKNOWN"},          {id, 0x78, "UNKNOWN"},
        {st, 0x00, "OK"},             {st, 0x01, "FAIL"},             {st, 0x02, "UNKNOWN"},
        {st, 0x0A, "PROG_FLASH_ERROR"}, {st, 0x0C, "PROG_SECTION_ERROR"}, {st, 0x37, "XCVR_PAYLOAD_ERROR"},
        {st, 0x38, "UNKNOWN"},        {st, 0x3F, "XCVR_STATUS_RESP"}, {st, 0x78, "DEX_RESP_REMOTE_ERROR"},
        {st, 0x79, "UNKNOWN"},
        {mt, 0, "ONE-WAY"},           {mt, 1, "ONE-WAY_USBL"},        {mt, 7, "RESPONSE_EXTENDED"},
        {mt, 8, "UNKNOWN"},
        {pl, 0x00, "PING"},           {pl, 0x81, "ECHO"},             {pl, 0x84, "DEX"},
        {pl, 0x05, "UNKNOWN"},        {pl, 0xFF, "UNKNOWN"},
        {bc, 0, "ALL_BEACONS"},       {bc, 1, "BEACON_1"},            {bc, 15, "BEACON_15"},
        {bc, 16, "INVALID_ID"},       {bc, 255, "INVALID_ID"},
        {pr, 0, "PR"},                {pr, 2, "PAA"},                 {pr, 3, "AUX"},
        {pr, 4, "UNKNOWN"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.func(static_cast<uint8_t>(c.value)), c.text) << "value " << c.value;
}

TEST(QvCmdDefs, FlagSetsDropBitsBeyondTheirMembers)
{
    const TQvCmdXcvrFixFlags fix = TQvCmdDefs::GetFixFlags(0xFF);
    for (EQvCmdXcvrFixFlag f :
         {FIX_RANGE_VALID, FIX_USBL_VALID, FIX_POSITION_VALID, FIX_POSITION_ENHANCED, FIX_POSITION_FLTERR})
        EXPECT_TRUE(fix.Contains(f));
    EXPECT_EQ(TQvCmdDefs::GetFixBits(fix), 0x1F);

    EXPECT_EQ(TQvCmdDefs::GetStatusFieldBits(TQvCmdStatusFields::Full()), 0x3F);
    EXPECT_EQ(TQvCmdDefs::GetStatusFieldFlags(0xC0), TQvCmdStatusFields{});
    EXPECT_EQ(TQvCmdDefs::GetNavQueryBits(TQvCmdDefs::GetNavQueryFlags(0xFA)), 0x0A);

    const TQvCmdNavQueryFlags nav = TQvCmdDefs::GetNavQueryFlags(0x0A);
    EXPECT_FALSE(nav.Contains(NAV_QUERY_DEPTH));
    EXPECT_TRUE(nav.Contains(NAV_QUERY_SUPPLY));
    EXPECT_FALSE(nav.Contains(NAV_QUERY_TEMP));
    EXPECT_TRUE(nav.Contains(NAV_QUERY_ATTITUDE));

    TQvCmdStatusFields s{STATUS_FIELD_ATTITUDE, STATUS_FIELD_SENSOR_COMP};
    EXPECT_EQ(TQvCmdDefs::GetStatusFieldBits(s), 0x22);
    s.Exclude(STATUS_FIELD_ATTITUDE);
    s.Include(STATUS_FIELD_ENVIRONMENT);
    EXPECT_EQ(TQvCmdDefs::GetStatusFieldBits(s), 0x21);
}

TEST(QvCmdDefs, RecordsLieInMemoryAsOnTheWire)
{
    // The records are byte images of the messages' fields: check offsets of a few fields
    // against the wire layout (little-endian host assumed, as the protocol is).
    TQvCmdInfo info;
    info.Hardware.SerialNumber = 0x11223344;
    info.App.Checksum = 0xA1B2C3D4;
    uint8_t raw[sizeof(info)];
    std::memcpy(raw, &info, sizeof(info));
    EXPECT_EQ(raw[8], 0x44); // message offset 9 minus the identifier byte
    EXPECT_EQ(raw[11], 0x11);
    EXPECT_EQ(raw[34], 0xD4); // "AppChecksum" at message offset 35
    EXPECT_EQ(raw[37], 0xA1);

    TQvCmdUsblCal cal;
    cal.SetNeutral();
    for (int k = 0; k < TQvCmdUsblCal::BaselineCount; ++k) {
        EXPECT_EQ(Val(cal.Baseline[4 * k + 0]), 0.0f);
        EXPECT_EQ(Val(cal.Baseline[4 * k + 1]), 1.0f);
        EXPECT_EQ(Val(cal.Baseline[4 * k + 2]), 0.0f);
        EXPECT_EQ(Val(cal.Baseline[4 * k + 3]), 0.0f);
    }
    EXPECT_FALSE(Val(cal.Valid));
}
