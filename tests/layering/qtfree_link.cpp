// Links the core libraries whole with no Qt (see CMakeLists.txt); the link is the check. Run,
// it builds a station on an in-memory port of its own and reports whether it came up idle.
#include "flashprog/QvFlashProg.h"
#include "flashprog/QvStation.h"
#include "framework/CvTimer.h"
#include "serial/ComPort.h"

#include <cstdio>
#include <memory>

namespace {

// The least port there is: never opens.
class TNoPort : public TComPort {
public:
    void Open() override { throw EComPort(CE_OpenFailed, 2); }
    void Close() override {}
    bool Connected() const override { return false; }
    void ClearBuffer(bool, bool) override {}
    int32_t InputCount() override { return 0; }
    int32_t ReadStr(std::string& str, int32_t) override
    {
        str.clear();
        return 0;
    }
    int32_t WriteStr(const std::string&) override { return 0; }
};

} // namespace

int main()
{
    TCvManualClock clock;
    TCvTimerServiceScope scope(&clock);
    TQvStation station(std::make_unique<TNoPort>());
    const bool idle = station.FlashProg()->State() == FP_IDLE && station.FlashProg()->DeviceInfo() == FP_ERR_COMMS;
    std::printf("%s\n", idle ? "station idle, no port" : "station not idle");
    return idle ? 0 : 1;
}
