// Each reply class's decode on arbitrary line text: the first byte picks the class (and the
// length limit), the rest is the line.
#include "fuzz/FuzzSupport.h"
#include "protocol/QvCmdSys.h"

#include <cstdint>
#include <memory>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static TFuzzEnv* env = new TFuzzEnv();
    (void)env;
    if (size == 0)
        return 0;
    static const TQvCmdMsgRxClass classes[] = {
        TQvCmdMsgRx::ClassOf<TQvCmdMsgRxSysInfo>(),   TQvCmdMsgRx::ClassOf<TQvCmdMsgRxConfigGet>(),
        TQvCmdMsgRx::ClassOf<TQvCmdMsgRxSysEngineering>(), TQvCmdMsgRx::ClassOf<TQvCmdMsgRxProgInit>(),
        TQvCmdMsgRx::ClassOf<TQvCmdMsgRxProgBlock>(), TQvCmdMsgRx::ClassOf<TQvCmdMsgRxProgUpdate>(),
    };
    const uint8_t pick = data[0];
    std::unique_ptr<TQvCmdMsgRx> msg = classes[pick % 6]();
    const int32_t maxLen = (pick / 6) % 4 == 0 ? 0 : (pick / 24) * 16;
    const std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);
    const TQvCmdMsgRxDecode result = msg->DecodeStr(text, maxLen);
    QV_FUZZ_CHECK(result <= cdec_BAD_PARAM);
    if (result == cdec_OK) {
        QV_FUZZ_CHECK(msg->DecodeValid());
        QV_FUZZ_CHECK(msg->Count() >= 1); // the checksum is taken off
        QV_FUZZ_CHECK(maxLen == 0 || msg->Count() + 2 <= maxLen);
        QV_FUZZ_CHECK(msg->CmdId() == msg->Bytes()[0]);
        QV_FUZZ_CHECK(msg->DecodeIdx() <= msg->Count());
    }
    return 0;
}
