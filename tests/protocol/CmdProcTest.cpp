#include "protocol/QvCmdProc.h"

#include "protocol/QvCmdSys.h"
#include "tests/protocol/ProtocolTestHelpers.h"
#include "tests/support/TestComPort.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

namespace {

using TBytes = std::vector<uint8_t>;

struct TDecodeRecord {
    TQvCmdMsgRxDecode Status;
    std::string Text;
    bool operator==(const TDecodeRecord&) const = default;
};

std::ostream& operator<<(std::ostream& os, const TDecodeRecord& r)
{
    return os << int(r.Status) << " \"" << r.Text.substr(0, 120) << "\"";
}

// Handler object with two methods, so delegates can be compared by object and method.
class TRecorder {
public:
    explicit TRecorder(std::vector<std::string>& calls, std::string name)
        : fCalls(calls)
        , fName(std::move(name))
    {
    }
    void First(TQvCmdProcExecuteParams& p) { fCalls.push_back(fName + ".First:" + p.MsgRx->DecodeMsgStr()); }
    void Second(TQvCmdProcExecuteParams& p) { fCalls.push_back(fName + ".Second:" + p.MsgRx->DecodeMsgStr()); }

private:
    std::vector<std::string>& fCalls;
    std::string fName;
};

class QvCmdProcTest : public testing::Test {
protected:
    void SetUp() override
    {
        fProc.SetComPort(&fPort);
        fPort.Open();
        fProc.SetOnDecode(TQvCmdProcDecodeEvent::FromFunction([this](TQvCmdProcDecodeParams& p) {
            EXPECT_EQ(p.Sender, &fProc);
            EXPECT_EQ(p.MsgRx != nullptr, p.Status == cdec_OK);
            fDecodes.push_back({p.Status, p.StatusStr});
        }));
        // 0x02 takes the plain received message (identifier only), 0x0D the real acknowledgement.
        ASSERT_NE(fProc.RegisterCmd(CID_SYS_INFO, TQvCmdMsgRx::ClassOf<TQvCmdMsgRx>()), nullptr);
        ASSERT_NE(fProc.RegisterCmd(CID_PROG_INIT, TQvCmdMsgRx::ClassOf<TQvCmdMsgRxProgInit>()), nullptr);
        fProc.RegisterHandler(CID_SYS_INFO, fRecorder1First);
        fProc.RegisterHandler(CID_PROG_INIT, fRecorder1First);
    }

    std::vector<std::string> fCalls;
    TRecorder fRecorder1{fCalls, "r1"};
    TRecorder fRecorder2{fCalls, "r2"};
    const TQvCmdProcExecuteDelegate fRecorder1First{&fRecorder1, &TRecorder::First};
    const TQvCmdProcExecuteDelegate fRecorder1Second{&fRecorder1, &TRecorder::Second};
    const TQvCmdProcExecuteDelegate fRecorder2First{&fRecorder2, &TRecorder::First};
    std::vector<TDecodeRecord> fDecodes;
    TQvTestComPort fPort; // declared before the processor, which unbinds from it first
    TQvCmdProc fProc;
};

} // namespace

TEST_F(QvCmdProcTest, LineBuilding)
{
    const std::string unregistered = RxLine({0x03});
    const std::string initAckShort = RxLine({0x0D});
    const std::string initAck = RxLine({0x0D, 0x0C});
    TBytes big(1998, 0x5A); // 2000 bytes with the checksum: 4000 digits
    big[0] = 0x02;
    const std::string longest = RxLine(big);
    ASSERT_EQ(longest.size(), 4001u);
    const std::string tooLong = longest + "0";

    struct Case {
        std::string input;
        bool reportUnregistered;
        std::vector<TDecodeRecord> decodes;
        std::vector<std::string> calls;
    };
    const Case cases[] = {
        {"\x01noise#0281C1\r\n$0281C1\r\n", true, {{cdec_OK, "$0281C1"}}, {"r1.First:$0281C1"}},
        {"$02$0281C1\r", true, {{cdec_OK, "$0281C1"}}, {"r1.First:$0281C1"}}, // partial line dropped silently
        {"$02|81|C1\r|\n", true, {{cdec_OK, "$0281C1"}}, {"r1.First:$0281C1"}}, // across reads ("|")
        {"$0281c1\n", true, {{cdec_OK, "$0281c1"}}, {"r1.First:$0281c1"}},
        {"$\r", true, {{cdec_BAD_LEN_UNDER, "Rx Underflow Error (Length < 3 bytes, Rx='$')"}}, {}},
        {"$0281C\r", true, {{cdec_BAD_LEN_UNDER, "Rx Underflow Error (Length < 3 bytes, Rx='$0281C')"}}, {}},
        {"$02x81C1\r\n$0281C1\r\n",
         true,
         {{cdec_BAD_CHAR, "Rx Character Error (Char='x', Rx='$02')"}, {cdec_OK, "$0281C1"}},
         {"r1.First:$0281C1"}}, // the rest of the broken line is ignored
        {"$02 81C1\r\n", true, {{cdec_BAD_CHAR, "Rx Character Error (ASCII=32, Rx='$02')"}}, {}},
        {"$02\x01", true, {{cdec_BAD_CHAR, "Rx Character Error (ASCII=1, Rx='$02')"}}, {}},
        {"$02\x7F", true, {{cdec_BAD_CHAR, "Rx Character Error (ASCII=127, Rx='$02')"}}, {}},
        {"$02\xB0", true, {{cdec_BAD_CHAR, "Rx Character Error (ASCII=176, Rx='$02')"}}, {}},
        {"$~", true, {{cdec_BAD_CHAR, "Rx Character Error (Char='~', Rx='$')"}}, {}},
        {"$000000\r", true, {{cdec_BAD_CHAR, "Rx CmdId Character Error (CmdId=0x00, Rx='$000000')"}}, {}},
        {"$0281C2\r",
         true,
         {{cdec_BAD_CSUM, "Rx Checksum Error (RxCsum=0xC281, CalcCsum=0xC181, Rx='$0281C2')"}},
         {}},
        {unregistered + "\r", true, {{cdec_BAD_CMD_ID, "Rx CmdId Unregistered (CmdId=0x03, Rx='" + unregistered + "')"}}, {}},
        {unregistered + "\r", false, {}, {}},
        {initAckShort + "\r", true, {{cdec_BAD_LEN_UNDER, "Rx Underflow Error (Rx='" + initAckShort + "')"}}, {}},
        {initAck + "\r\n$0281C1\r\n",
         true,
         {{cdec_OK, initAck}, {cdec_OK, "$0281C1"}},
         {"r1.First:" + initAck, "r1.First:$0281C1"}},
        {longest + "\r", true, {{cdec_OK, longest}}, {"r1.First:" + longest}},
        {tooLong + "\r\n",
         true,
         {{cdec_BAD_LEN_OVER, "Rx Overflow Error (Length > 2000 bytes, Rx='" + longest + "')"}},
         {}}, // the digit beyond the limit is dropped and the CR that follows ignored
    };
    for (const Case& c : cases) {
        fDecodes.clear();
        fCalls.clear();
        fProc.DecodeReset();
        fProc.SetDecodeErrorEnUnregistered(c.reportUnregistered);
        size_t from = 0;
        for (size_t bar; (bar = c.input.find('|', from)) != std::string::npos; from = bar + 1)
            fPort.Receive(c.input.substr(from, bar - from));
        fPort.Receive(c.input.substr(from));
        const std::string tag = c.input.substr(0, 40);
        EXPECT_EQ(fDecodes, c.decodes) << tag;
        EXPECT_EQ(fCalls, c.calls) << tag;
    }
}

TEST_F(QvCmdProcTest, CharacterByCharacterResults)
{
    struct Step {
        char ch;
        TQvCmdMsgRxDecode result;
    };
    const Step steps[] = {{'x', cdec_OK}, {'$', cdec_OK}, {'0', cdec_OK}, {'2', cdec_OK}, {'8', cdec_OK},
                          {'1', cdec_OK}, {'C', cdec_OK}, {'2', cdec_OK}, {'\r', cdec_BAD_CSUM},
                          {'\n', cdec_OK}, {'$', cdec_OK}, {'G', cdec_BAD_CHAR}, {'\r', cdec_OK}};
    for (const Step& s : steps)
        EXPECT_EQ(fProc.Decode(s.ch), s.result) << s.ch;
    EXPECT_EQ(fDecodes.size(), 2u);
    // The result of an unregistered line is returned even when it is not reported.
    fProc.SetDecodeErrorEnUnregistered(false);
    EXPECT_EQ(fProc.DecodeStr(RxLine({0x03})), cdec_BAD_CMD_ID);
    EXPECT_EQ(fProc.DecodeStr("#0281C1"), cdec_NO_SYNC);
    EXPECT_EQ(fDecodes.back(), (TDecodeRecord{cdec_NO_SYNC, "Rx Sync Character Missing (Rx='#0281C1')"}));
    EXPECT_EQ(fProc.DecodeStr("$ZZ81C1"), cdec_BAD_CHAR);
    EXPECT_EQ(fDecodes.back(), (TDecodeRecord{cdec_BAD_CHAR, "Rx CmdId Character Error (CmdId=0xZZ, Rx='$ZZ81C1')"}));
    EXPECT_EQ(fDecodes.size(), 4u);
}

TEST_F(QvCmdProcTest, DelegatesAndRegistry)
{
    EXPECT_TRUE(fProc.RegisterHandler(CID_SYS_INFO, fRecorder2First));
    EXPECT_TRUE(fProc.RegisterHandler(CID_SYS_INFO, fRecorder1Second));
    EXPECT_TRUE(fProc.RegisterHandler(CID_SYS_INFO, fRecorder1First)); // twice: called twice
    EXPECT_FALSE(fProc.RegisterHandler(CID_PROG_BLOCK, fRecorder1First)); // no entry
    EXPECT_FALSE(fProc.RegisterHandler(CID_SYS_INFO, TQvCmdProcExecuteDelegate()));
    fPort.Receive("$0281C1\r\n");
    EXPECT_EQ(fCalls, (std::vector<std::string>{"r1.First:$0281C1", "r2.First:$0281C1", "r1.Second:$0281C1",
                                                "r1.First:$0281C1"}));

    // Removing takes the first equal delegate: same object and same method.
    fCalls.clear();
    EXPECT_TRUE(fProc.UnregisterHandler(CID_SYS_INFO, fRecorder1First));
    EXPECT_TRUE(fProc.UnregisterHandler(CID_SYS_INFO, fRecorder2First));
    EXPECT_FALSE(fProc.UnregisterHandler(CID_SYS_INFO, fRecorder2First));
    EXPECT_FALSE(fProc.UnregisterHandler(CID_PROG_BLOCK, fRecorder1First));
    EXPECT_FALSE(fProc.UnregisterHandler(CID_SYS_INFO, TQvCmdProcExecuteDelegate()));
    fPort.Receive("$0281C1\r\n");
    EXPECT_EQ(fCalls, (std::vector<std::string>{"r1.Second:$0281C1", "r1.First:$0281C1"}));

    // A second registration keeps the first class: 0x02 still decodes a one-byte message.
    TQvCmdProc::TQvCmdProcDictionaryEntry* entry =
        fProc.RegisterCmd(CID_SYS_INFO, TQvCmdMsgRx::ClassOf<TQvCmdMsgRxSysInfo>());
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(entry->CmdClass, TQvCmdMsgRx::ClassOf<TQvCmdMsgRx>());
    EXPECT_EQ(entry->CmdDelegates.size(), 2u);
    EXPECT_EQ(fProc.RegisterCmd(CID_PROG_BLOCK, nullptr), nullptr);
    EXPECT_EQ(fProc.Entry(CID_PROG_BLOCK), nullptr);
    fCalls.clear();
    fDecodes.clear();
    fPort.Receive("$0281C1\r\n");
    EXPECT_EQ(fDecodes, (std::vector<TDecodeRecord>{{cdec_OK, "$0281C1"}}));

    // Unregistered: the line is refused and no delegate runs.
    fProc.Unregister(CID_SYS_INFO);
    fProc.Unregister(CID_SYS_INFO); // nothing left: no effect
    fCalls.clear();
    fDecodes.clear();
    fPort.Receive("$0281C1\r\n");
    EXPECT_TRUE(fCalls.empty());
    EXPECT_EQ(fDecodes, (std::vector<TDecodeRecord>{{cdec_BAD_CMD_ID, "Rx CmdId Unregistered (CmdId=0x02, Rx='$0281C1')"}}));

    TQvCmdMsgRx orphan;
    ASSERT_EQ(orphan.DecodeStr("$0281C1"), cdec_OK);
    EXPECT_FALSE(fProc.Execute(orphan));
}

TEST_F(QvCmdProcTest, DelegatesSeeTheDecodedMessageAfterOnDecode)
{
    std::vector<std::string> order;
    fProc.SetOnDecode(TQvCmdProcDecodeEvent::FromFunction([&](TQvCmdProcDecodeParams& p) {
        order.push_back("decode:" + p.StatusStr);
    }));
    TQvCmdMsgRx* seen = nullptr;
    fProc.RegisterHandler(CID_PROG_INIT, TQvCmdProcExecuteDelegate::FromFunction([&](TQvCmdProcExecuteParams& p) {
        EXPECT_EQ(p.Sender, &fProc);
        auto* ack = dynamic_cast<TQvCmdMsgRxProgInit*>(p.MsgRx);
        ASSERT_NE(ack, nullptr);
        EXPECT_EQ(ack->Status(), CST_PROG_SECTION_ERROR);
        seen = p.MsgRx;
        order.push_back("execute");
    }));
    const std::string line = RxLine({0x0D, 0x0C});
    fPort.Receive(line + "\r\n");
    EXPECT_NE(seen, nullptr);
    EXPECT_EQ(order, (std::vector<std::string>{"decode:" + line, "execute"}));
}

TEST_F(QvCmdProcTest, DelegateChangingTheRegistryDuringDispatch)
{
    // The first delegate removes the whole entry: the others are not called and nothing breaks.
    fProc.RegisterHandler(CID_SYS_INFO, TQvCmdProcExecuteDelegate::FromFunction(
                                            [&](TQvCmdProcExecuteParams&) { fProc.Unregister(CID_SYS_INFO); }));
    fProc.RegisterHandler(CID_SYS_INFO, fRecorder2First);
    fProc.UnregisterHandler(CID_SYS_INFO, fRecorder1First);
    fProc.RegisterHandler(CID_SYS_INFO, fRecorder1First);
    fPort.Receive("$0281C1\r\n");
    EXPECT_TRUE(fCalls.empty());
    EXPECT_EQ(fProc.Entry(CID_SYS_INFO), nullptr);

    // A delegate added during dispatch is called from the next message on.
    fCalls.clear();
    bool added = false;
    fProc.RegisterHandler(CID_PROG_INIT, TQvCmdProcExecuteDelegate::FromFunction([&](TQvCmdProcExecuteParams&) {
        if (!added)
            added = fProc.RegisterHandler(CID_PROG_INIT, fRecorder2First);
    }));
    const std::string ack = RxLine({0x0D, 0x00});
    fPort.Receive(ack + "\r\n");
    EXPECT_EQ(fCalls, std::vector<std::string>{"r1.First:" + ack});
    fPort.Receive(ack + "\r\n");
    EXPECT_EQ(fCalls.size(), 3u);
}

TEST_F(QvCmdProcTest, DelegateSendsInTheMiddleOfABatch)
{
    // An in-process beacon answers every PROG_BLOCK with an acknowledgement.
    std::vector<std::string> order;
    const std::string blockAck = RxLine({0x0E, 0x00});
    fPort.SetOnWrite([&](const std::string& text) {
        order.push_back("write:" + text);
        fPort.Receive(blockAck + "\r\n");
    });
    fProc.RegisterCmd(CID_PROG_BLOCK, TQvCmdMsgRx::ClassOf<TQvCmdMsgRxProgBlock>());
    fProc.RegisterHandler(CID_PROG_BLOCK, TQvCmdProcExecuteDelegate::FromFunction(
                                              [&](TQvCmdProcExecuteParams& p) { order.push_back("block:" + p.MsgRx->DecodeMsgStr()); }));
    fProc.RegisterHandler(CID_PROG_INIT, TQvCmdProcExecuteDelegate::FromFunction([&](TQvCmdProcExecuteParams& p) {
        order.push_back("init:" + p.MsgRx->DecodeMsgStr());
        TQvCmdMsgTxProgBlock block;
        block.SetData({0xAA});
        fProc.SendMsg(block);
    }));
    fProc.RegisterHandler(CID_SYS_INFO, TQvCmdProcExecuteDelegate::FromFunction(
                                            [&](TQvCmdProcExecuteParams& p) { order.push_back("info:" + p.MsgRx->DecodeMsgStr()); }));
    const std::string initAck = RxLine({0x0D, 0x00});
    // One batch of two lines: the second is decoded after the delegate's send returns and before
    // the beacon's answer to that send.
    fPort.Receive(initAck + "\r\n$0281C1\r\n");
    EXPECT_EQ(order, (std::vector<std::string>{"init:" + initAck, "write:" + TxLine({0x0E, 0x01, 0x00, 0xAA}),
                                               "info:$0281C1", "block:" + blockAck}));
}

TEST_F(QvCmdProcTest, DelegateErrorReachesTheReceiverAndTheNextLineIsUnaffected)
{
    fProc.RegisterHandler(CID_PROG_INIT, TQvCmdProcExecuteDelegate::FromFunction(
                                             [](TQvCmdProcExecuteParams&) { throw std::runtime_error("handler failed"); }));
    const std::string ack = RxLine({0x0D, 0x00});
    EXPECT_THROW(fProc.DecodeStr(ack), std::runtime_error);
    EXPECT_THROW(fPort.Receive(ack + "\r\n"), std::runtime_error);
    fCalls.clear();
    fPort.Receive("$0281C1\r\n");
    EXPECT_EQ(fCalls, std::vector<std::string>{"r1.First:$0281C1"});
}

TEST_F(QvCmdProcTest, Sending)
{
    std::vector<std::string> sent;
    fProc.SetOnSend(TQvCmdProcSendEvent::FromFunction([&](TQvCmdProcSendParams& p) {
        EXPECT_EQ(p.Sender, &fProc);
        sent.push_back(TQvCmdDefs::GetCmdIdString(p.MsgTx->CmdId()));
    }));

    TQvCmdMsgTxSysInfo info;
    fProc.SendMsg(info);
    fProc.SendMsg(TQvCmdMsgTx::ClassOf<TQvCmdMsgTxProgUpdate>());
    fProc.SendMsg(TQvCmdMsgTxClass(nullptr));
    EXPECT_EQ(fPort.TakeWritten(), "#0281C1\r\n#0F4004\r\n");
    EXPECT_EQ(sent, (std::vector<std::string>{"SYS_INFO", "PROG_UPDATE"}));

    // Closed or unbound: nothing written, no OnSend.
    fPort.Close();
    fProc.SendMsg(info);
    fProc.SendMsg(TQvCmdMsgTx::ClassOf<TQvCmdMsgTxConfigGet>());
    fPort.Open();
    fProc.SetComPort(nullptr);
    fProc.SendMsg(info);
    EXPECT_EQ(fPort.TakeWritten(), "");
    EXPECT_EQ(sent.size(), 2u);

    // A failed write reaches the sender and OnSend is not called.
    fProc.SetComPort(&fPort);
    fPort.SetWriteError(5);
    EXPECT_THROW(fProc.SendMsg(info), EComPort);
    EXPECT_EQ(sent.size(), 2u);
}

TEST_F(QvCmdProcTest, PortBinding)
{
    TQvTestComPort other;
    TComEvents none;
    other.SetEvents(none);
    other.Open();
    fPort.Receive("$02"); // a partial line on the first port

    fProc.SetComPort(&other);
    EXPECT_FALSE(fPort.OnRxChar()); // the old port no longer reports to the processor
    EXPECT_TRUE(other.OnRxChar());
    EXPECT_TRUE(other.Events()[evRxChar]);
    EXPECT_EQ(fProc.ComPort(), &other);

    other.Receive("81C1\r\n"); // the partial line was dropped by the binding
    EXPECT_TRUE(fDecodes.empty());
    other.Receive("$0281C1\r\n");
    fPort.Receive("$0281C1\r\n"); // not heard any more
    EXPECT_EQ(fDecodes, (std::vector<TDecodeRecord>{{cdec_OK, "$0281C1"}}));

    // A handler set on the old port by someone else is left alone.
    const TRxCharEvent foreign = TRxCharEvent::FromFunction([](TComRxCharParams&) {});
    other.SetOnRxChar(foreign);
    fProc.SetComPort(&fPort);
    EXPECT_TRUE(other.OnRxChar() == foreign);

    // An empty notification reads nothing.
    TComRxCharParams params{&fPort, 0};
    fProc.ComPortRxChar(params);
    EXPECT_EQ(fDecodes.size(), 1u);

    // The processor's end unbinds it from the port.
    {
        TQvCmdProc local;
        local.SetComPort(&other);
        EXPECT_TRUE(other.OnRxChar());
    }
    EXPECT_FALSE(other.OnRxChar());
}
