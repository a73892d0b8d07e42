// TComPort without a device: enumeration texts, setting groups, flow-control presets, errors,
// and the in-memory test port other areas build on.
#include "serial/ComPort.h"
#include "serial/ComSerialPort.h"
#include "tests/support/TestComPort.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

TEST(ComPortText, EveryMemberHasItsTextAndReadsBackFromIt)
{
    const std::vector<std::string> baud = {"Custom", "110", "300", "600", "1200", "2400", "4800",
        "9600", "14400", "19200", "38400", "56000", "57600", "115200", "128000", "256000"};
    for (size_t i = 0; i < baud.size(); ++i) {
        EXPECT_EQ(BaudRateToText(static_cast<TBaudRate>(i)), baud[i]);
        EXPECT_EQ(TextToBaudRate(baud[i]), static_cast<TBaudRate>(i));
    }
    const std::vector<std::string> data = {"5", "6", "7", "8"};
    for (size_t i = 0; i < data.size(); ++i) {
        EXPECT_EQ(DataBitsToText(static_cast<TDataBits>(i)), data[i]);
        EXPECT_EQ(TextToDataBits(data[i]), static_cast<TDataBits>(i));
    }
    const std::vector<std::string> stop = {"1", "1.5", "2"};
    for (size_t i = 0; i < stop.size(); ++i) {
        EXPECT_EQ(StopBitsToText(static_cast<TStopBits>(i)), stop[i]);
        EXPECT_EQ(TextToStopBits(stop[i]), static_cast<TStopBits>(i));
    }
    const std::vector<std::string> parity = {"None", "Odd", "Even", "Mark", "Space"};
    for (size_t i = 0; i < parity.size(); ++i) {
        EXPECT_EQ(ParityToText(static_cast<TParityBits>(i)), parity[i]);
        EXPECT_EQ(TextToParity(parity[i]), static_cast<TParityBits>(i));
    }
    const std::vector<std::string> flow = {"Hardware", "Software", "None", "Custom"};
    for (size_t i = 0; i < flow.size(); ++i) {
        EXPECT_EQ(FlowControlToText(static_cast<TFlowControl>(i)), flow[i]);
        EXPECT_EQ(TextToFlowControl(flow[i]), static_cast<TFlowControl>(i));
    }
    EXPECT_EQ(BaudRateToValue(br56000), 56000u);
    EXPECT_EQ(BaudRateToValue(brCustom), 0u);
    EXPECT_EQ(BaudRateToText(static_cast<TBaudRate>(99)), ""); // out of range: no text, no crash
    EXPECT_EQ(BaudRateToValue(static_cast<TBaudRate>(99)), 0u);
}

TEST(ComPortText, MatchingIgnoresCaseButNotBlanksAndFallsBack)
{
    struct TCase {
        std::string text;
        TBaudRate baud;
        TParityBits parity;
        TFlowControl flow;
        TStopBits stop;
        TDataBits data;
    } cases[] = {
        {"none", br9600, prNone, fcNone, sbOneStopBit, dbEight},
        {"EVEN", br9600, prEven, fcCustom, sbOneStopBit, dbEight},
        {"sOfTwArE", br9600, prNone, fcSoftware, sbOneStopBit, dbEight},
        {"custom", brCustom, prNone, fcCustom, sbOneStopBit, dbEight},
        {"115200", br115200, prNone, fcCustom, sbOneStopBit, dbEight},
        {" 115200", br9600, prNone, fcCustom, sbOneStopBit, dbEight}, // no trimming
        {"None ", br9600, prNone, fcCustom, sbOneStopBit, dbEight},
        {"2", br9600, prNone, fcCustom, sbTwoStopBits, dbEight},
        {"5", br9600, prNone, fcCustom, sbOneStopBit, dbFive},
        {"", br9600, prNone, fcCustom, sbOneStopBit, dbEight},
        {"\xC3\xA9", br9600, prNone, fcCustom, sbOneStopBit, dbEight},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE("\"" + c.text + "\"");
        EXPECT_EQ(TextToBaudRate(c.text), c.baud);
        EXPECT_EQ(TextToParity(c.text), c.parity);
        EXPECT_EQ(TextToFlowControl(c.text), c.flow);
        EXPECT_EQ(TextToStopBits(c.text), c.stop);
        EXPECT_EQ(TextToDataBits(c.text), c.data);
    }
}

TEST(ComPortProperties, NewPortHasTheDocumentedDefaults)
{
    TComSerialPort port;
    EXPECT_EQ(port.Port(), "COM1");
    EXPECT_EQ(port.BaudRate(), br9600);
    EXPECT_EQ(port.CustomBaudRate(), 9600u);
    EXPECT_EQ(port.DataBits(), dbEight);
    EXPECT_EQ(port.StopBits(), sbOneStopBit);
    EXPECT_EQ(port.Parity().Bits(), prNone);
    EXPECT_EQ(port.FlowControl().FlowControl(), fcNone);
    EXPECT_EQ(port.FlowControl().ControlDTR(), dtrDisable);
    EXPECT_EQ(port.Buffer().InputSize(), 1024);
    EXPECT_EQ(port.Buffer().OutputSize(), 1024);
    EXPECT_EQ(port.Timeouts().ReadInterval(), -1);
    EXPECT_EQ(port.Timeouts().WriteTotalMultiplier(), 100);
    EXPECT_EQ(port.Timeouts().WriteTotalConstant(), 1000);
    EXPECT_TRUE(port.Events().all());
    EXPECT_EQ(port.StoredProps(), TStoredProps().set(spBasic));
    EXPECT_FALSE(port.Connected());
    EXPECT_EQ(port.LineBaudRate(), 9600u);
    port.SetBaudRate(brCustom);
    port.SetCustomBaudRate(31250);
    EXPECT_EQ(port.LineBaudRate(), 31250u);
}

TEST(ComPortProperties, BufferSizesAreStoredEven)
{
    TComSerialPort port;
    const std::pair<int32_t, int32_t> cases[] = {{4095, 4094}, {4096, 4096}, {1, 0}, {-5, -6}};
    for (const auto& [given, stored] : cases) {
        port.Buffer().SetInputSize(given);
        port.Buffer().SetOutputSize(given);
        EXPECT_EQ(port.Buffer().InputSize(), stored) << given;
        EXPECT_EQ(port.Buffer().OutputSize(), stored) << given;
    }
}

TEST(ComPortFlowControl, PresetsSetTheirFlagsAndReadBack)
{
    struct TFlags {
        TRTSFlowControl rts;
        bool cts, xonIn, xonOut;
    };
    const std::pair<TFlowControl, TFlags> presets[] = {
        {fcHardware, {rtsHandshake, true, false, false}},
        {fcSoftware, {rtsDisable, false, true, true}},
        {fcNone, {rtsDisable, false, false, false}},
    };
    for (const auto& [preset, f] : presets) {
        SCOPED_TRACE(FlowControlToText(preset));
        TComSerialPort port;
        TComFlowControl& fc = port.FlowControl();
        fc.SetControlDTR(dtrHandshake);
        fc.SetOutDSRFlow(true);
        fc.SetControlRTS(rtsToggle);
        fc.SetOutCTSFlow(!f.cts);
        fc.SetFlowControl(preset);
        EXPECT_EQ(fc.ControlRTS(), f.rts);
        EXPECT_EQ(fc.OutCTSFlow(), f.cts);
        EXPECT_EQ(fc.XonXoffIn(), f.xonIn);
        EXPECT_EQ(fc.XonXoffOut(), f.xonOut);
        EXPECT_EQ(fc.FlowControl(), preset);
        EXPECT_EQ(fc.ControlDTR(), dtrHandshake); // never touched by a preset
        EXPECT_TRUE(fc.OutDSRFlow());
    }
}

TEST(ComPortFlowControl, CustomKeepsTheFlagsAndMixedFlagsReadAsCustom)
{
    TComSerialPort port;
    TComFlowControl& fc = port.FlowControl();
    fc.SetControlRTS(rtsEnable);
    fc.SetXonXoffIn(true);
    EXPECT_EQ(fc.FlowControl(), fcCustom);
    fc.SetFlowControl(fcCustom);
    EXPECT_EQ(fc.ControlRTS(), rtsEnable);
    EXPECT_TRUE(fc.XonXoffIn());
    EXPECT_FALSE(fc.XonXoffOut());
    EXPECT_FALSE(fc.OutCTSFlow());

    fc.SetFlowControl(fcHardware);
    fc.SetXonXoffOut(true); // hardware plus one XON/XOFF flag is no preset
    EXPECT_EQ(fc.FlowControl(), fcCustom);
}

TEST(ComPortErrors, MessageCarriesTheSystemNumberOnlyWhenKnown)
{
    struct TCase {
        int32_t code, winCode;
        const char* what;
        int32_t storedWinCode;
    } cases[] = {
        {CE_OpenFailed, 2, "Unable to open com port (Error: 2)", 2},
        {CE_OpenFailed, -1, "Unable to open com port", -1},
        {CE_OpenFailed, 0, "Unable to open com port", -1},
        {CE_SetStateFailed, 22, "SetCommState function failed (Error: 22)", 22},
        {CE_TimeoutsFailed, -1, "SetCommTimeouts failed", -1},
        {CE_ClearComFailed, 9, "ClearCommError function failed (Error: 9)", 9},
        {CE_LedStateFailed, -1, "Cannot change led state if ComPort is selected", -1},
        {CEPortNotOpen, -1, "Port Not Open", -1},
        {99, -1, "", -1},
    };
    for (const TCase& c : cases) {
        const EComPort e(c.code, c.winCode);
        EXPECT_EQ(e.Code(), c.code);
        EXPECT_EQ(e.WinCode(), c.storedWinCode);
        EXPECT_STREQ(e.what(), c.what);
    }
}

// The in-memory port is what protocol and engine tests run on: it must deliver like the device.
class TestComPortTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        port.SetOnRxChar(TRxCharEvent::FromFunction([this](TComRxCharParams& p) {
            counts.push_back(p.Count);
            std::string s;
            p.Sender->ReadStr(s, p.Count);
            read += s;
            if (onRx)
                onRx();
        }));
        port.Open();
    }
    std::vector<int32_t> counts;
    std::string read;
    std::function<void()> onRx;
    TQvTestComPort port;
};

TEST_F(TestComPortTest, ReceiveDeliversAtOnceAndBytesDuringAHandlerComeInAFurtherDelivery)
{
    onRx = [this] {
        if (counts.size() == 1) {
            port.Receive("CD");
            port.Receive("E");
            EXPECT_EQ(counts.size(), 1u); // never nested
        }
    };
    port.Receive("AB");
    EXPECT_EQ(counts, (std::vector<int32_t>{2, 3}));
    EXPECT_EQ(read, "ABCDE");
}

TEST_F(TestComPortTest, RepliesToWritesOutsideADeliveryWaitForDeliverPending)
{
    port.SetOnWrite([this](const std::string& line) { port.Receive("$reply-to-" + line); });
    EXPECT_EQ(port.WriteStr("#01\r\n"), 5);
    EXPECT_TRUE(counts.empty()); // not inside the writer's call
    EXPECT_TRUE(port.DeliverPending());
    EXPECT_EQ(read, "$reply-to-#01\r\n");
    EXPECT_FALSE(port.DeliverPending());
    EXPECT_EQ(port.TakeWritten(), "#01\r\n");
    EXPECT_EQ(port.Written(), "");
}

TEST_F(TestComPortTest, ClosedPortDropsInputAndRefusesIo)
{
    port.Close();
    port.Receive("lost");
    EXPECT_TRUE(counts.empty());
    EXPECT_THROW(port.WriteStr("#01\r\n"), EComPort);
    std::string s;
    EXPECT_EQ(port.ReadStr(s, 0), 0);
    port.SetOpenError(16);
    try {
        port.Open();
        FAIL();
    } catch (const EComPort& e) {
        EXPECT_STREQ(e.what(), "Unable to open com port (Error: 16)");
    }
    EXPECT_FALSE(port.Connected());
}
