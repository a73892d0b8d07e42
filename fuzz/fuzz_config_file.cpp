// The Beacon Config File load on an arbitrary file: a refused file leaves the configuration
// untouched; an accepted one saves and loads back to the same USBL calibration.
#include "fuzz/FuzzSupport.h"
#include "framework/CvClock.h"
#include "protocol/QvConfigFile.h"

#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static TFuzzEnv* env = new TFuzzEnv();
    const std::string path = env->WriteScratch(data, size);

    TQvCmdEngineeringConfig config;
    config.Hardware.PartNumber = 0x1234;
    config.Hardware.SerialNumber = 777;
    config.UsblCal.Baseline[5] = 42.5f;
    const TQvCmdEngineeringConfig sentinel = config;
    std::string error;
    if (!TQvConfigFile::Load(path, config, error)) {
        QV_FUZZ_CHECK(!error.empty());
        QV_FUZZ_CHECK(std::memcmp(&config, &sentinel, sizeof(config)) == 0);
        return 0;
    }
    // The record is packed: its floats are copied out, never referenced in place.
    float loaded[TQvCmdUsblCal::BaselineCount * TQvCmdUsblCal::CoefCount];
    std::memcpy(loaded, config.UsblCal.Baseline, sizeof(loaded));
    bool finite = true;
    for (float f : loaded)
        finite = finite && std::isfinite(f);
    // A save rewrites the file key by key: the round trip runs on one input in eight so the
    // loader itself gets most of the time.
    if (!finite || size % 8 != 0)
        return 0;

    const std::string copy = env->Scratch + ".saved.ini";
    QV_FUZZ_CHECK(TQvConfigFile::Save(copy, config, TCvDateTime{2026, 1, 2, 3, 4, 5, 6}, error));
    TQvCmdEngineeringConfig back;
    QV_FUZZ_CHECK(TQvConfigFile::Load(copy, back, error));
    QV_FUZZ_CHECK(back.UsblCal.Valid == config.UsblCal.Valid);
    float reread[TQvCmdUsblCal::BaselineCount * TQvCmdUsblCal::CoefCount];
    std::memcpy(reread, back.UsblCal.Baseline, sizeof(reread));
    for (size_t i = 0; i < sizeof(loaded) / sizeof(loaded[0]); ++i)
        QV_FUZZ_CHECK(reread[i] == loaded[i]);
    std::remove(copy.c_str());
    return 0;
}
