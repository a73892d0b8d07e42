// The fwx package reader on arbitrary XML: no crash, and an accepted package keeps the invariants
// of a loaded target (blocks that add up to its length, each small enough for one message).
#include "flashprog/QvFlashProgFile.h"
#include "fuzz/FuzzSupport.h"

#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static TFuzzEnv* env = new TFuzzEnv();
    const std::string path = env->WriteScratch(data, size);
    TQvFlashProgTarget target;
    const EQvFlashProgReturn result = TQvFlashProgFile::Load(path, target);
    if (result == FP_OK) {
        QV_FUZZ_CHECK(target.Device >= 0 && target.Section >= 0);
        QV_FUZZ_CHECK(target.Checksum != 0 && target.Length != 0 && !target.Block.empty());
        uint64_t total = 0;
        for (const TQvFlashProgBlock& block : target.Block) {
            QV_FUZZ_CHECK(block.Data.size() == static_cast<size_t>(block.Length));
            QV_FUZZ_CHECK(block.Data.size() <= 65535);
            total += block.Data.size();
        }
        QV_FUZZ_CHECK(total == target.Length);
    }
    return 0;
}
