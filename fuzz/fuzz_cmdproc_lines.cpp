// The command processor's line builder fed arbitrary bytes, with the six reply classes
// registered and a handler that reads every decoded record, as the engine does.
#include "fuzz/FuzzSupport.h"
#include "protocol/QvCmdProc.h"
#include "protocol/QvCmdSys.h"

#include <cstdint>
#include <cstring>

namespace {

struct TFuzzHandler {
    void Execute(TQvCmdProcExecuteParams& p)
    {
        TQvCmdMsgRx* msg = p.MsgRx;
        QV_FUZZ_CHECK(msg != nullptr);
        QV_FUZZ_CHECK(msg->Count() >= 1); // the checksum is taken off
        QV_FUZZ_CHECK(msg->DecodeValid());
        if (auto* info = dynamic_cast<TQvCmdMsgRxSysInfo*>(msg))
            Sum += info->Info().Uptime;
        else if (auto* config = dynamic_cast<TQvCmdMsgRxConfigGet*>(msg))
            Sum += config->Config().PressureSensor.CalId;
        else if (auto* eng = dynamic_cast<TQvCmdMsgRxSysEngineering*>(msg))
            Sum += eng->Action() + eng->Status();
        else if (auto* status = dynamic_cast<TQvCmdMsgRx_Status*>(msg))
            Sum += status->Status();
        ++Dispatched;
    }
    void Decoded(TQvCmdProcDecodeParams& p)
    {
        Sum += p.Status + p.StatusStr.size();
    }
    uint64_t Sum = 0;
    uint64_t Dispatched = 0;
};

struct TFuzzProc {
    TFuzzProc()
    {
        Proc.RegisterCmd(CID_SYS_INFO, TQvCmdMsgRx::ClassOf<TQvCmdMsgRxSysInfo>());
        Proc.RegisterCmd(CID_SYS_ENGINEERING, TQvCmdMsgRx::ClassOf<TQvCmdMsgRxSysEngineering>());
        Proc.RegisterCmd(CID_PROG_INIT, TQvCmdMsgRx::ClassOf<TQvCmdMsgRxProgInit>());
        Proc.RegisterCmd(CID_PROG_BLOCK, TQvCmdMsgRx::ClassOf<TQvCmdMsgRxProgBlock>());
        Proc.RegisterCmd(CID_PROG_UPDATE, TQvCmdMsgRx::ClassOf<TQvCmdMsgRxProgUpdate>());
        Proc.RegisterCmd(CID_CONFIG_GET, TQvCmdMsgRx::ClassOf<TQvCmdMsgRxConfigGet>());
        for (EQvCmdId id : {CID_SYS_INFO, CID_SYS_ENGINEERING, CID_PROG_INIT, CID_PROG_BLOCK, CID_PROG_UPDATE,
                            CID_CONFIG_GET})
            Proc.RegisterHandler(id, TQvCmdProcExecuteDelegate(&Handler, &TFuzzHandler::Execute));
        Proc.SetOnDecode(TQvCmdProcDecodeEvent(&Handler, &TFuzzHandler::Decoded));
    }
    TFuzzEnv Env;
    TFuzzHandler Handler;
    TQvCmdProc Proc;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static TFuzzProc* rig = new TFuzzProc();
    rig->Proc.DecodeReset();
    for (size_t i = 0; i < size; ++i)
        rig->Proc.Decode(static_cast<char>(data[i]));
    // Whatever came before, a valid line afterwards still decodes and dispatches (the line end
    // first completes a line the input left open).
    rig->Proc.Decode('\r');
    const uint64_t before = rig->Handler.Dispatched;
    for (char c : std::string("$0D000490\r\n"))
        rig->Proc.Decode(c);
    QV_FUZZ_CHECK(rig->Handler.Dispatched == before + 1);
    return 0;
}
