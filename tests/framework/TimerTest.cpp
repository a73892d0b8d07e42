#include "framework/CvTimer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct Recorder {
    TCvManualClock* Clock = nullptr;
    std::vector<std::string> Fired;
    std::string Name;
    void OnTimer(TCvTimerParams&) { Fired.push_back(Name + "@" + std::to_string(Clock->NowMs())); }
};

} // namespace

TEST(CvManualClock, FiresInOrderOfDueTime)
{
    TCvManualClock clock;
    TCvTimerServiceScope scope(&clock);
    std::vector<std::string> log;
    auto make = [&](const char* name) {
        return TCvEvent<TCvTimerParams>::FromFunction(
            [&log, &clock, name](TCvTimerParams&) { log.push_back(std::string(name) + "@" + std::to_string(clock.NowMs())); });
    };
    TCvTimer slow(300);
    TCvTimer fast(100);
    TCvTimer same(100);
    slow.SetOnTimer(make("slow"));
    fast.SetOnTimer(make("fast"));
    same.SetOnTimer(make("same"));
    slow.Start();
    fast.Start();
    same.Start();

    clock.Advance(99);
    EXPECT_TRUE(log.empty());
    clock.Advance(201);
    // Periodic: fast and same fire at 100, 200, 300; equal due times keep the order of arming.
    EXPECT_EQ(log, (std::vector<std::string>{"fast@100", "same@100", "fast@200", "same@200", "slow@300",
                                             "fast@300", "same@300"}));
    EXPECT_EQ(clock.NowMs(), 300u);
}

TEST(CvManualClock, RestartStopAndIntervalChange)
{
    TCvManualClock clock;
    TCvTimerServiceScope scope(&clock);
    Recorder rec;
    rec.Clock = &clock;
    rec.Name = "t";
    TCvTimer timer(1000);
    timer.SetOnTimer(TCvEvent<TCvTimerParams>(&rec, &Recorder::OnTimer));

    timer.Start();
    clock.Advance(600);
    timer.Start(2000); // restarted: the new interval counts from now (600)
    clock.Advance(1999);
    EXPECT_TRUE(rec.Fired.empty());
    clock.Advance(1);
    EXPECT_EQ(rec.Fired, std::vector<std::string>{"t@2600"});

    timer.Stop();
    clock.Advance(10000);
    EXPECT_EQ(rec.Fired.size(), 1u); // a stopped timer never fires
    EXPECT_EQ(clock.PendingCount(), 0u);

    timer.SetInterval(50); // changing the interval of a stopped timer does not start it
    clock.Advance(100);
    EXPECT_EQ(rec.Fired.size(), 1u);
    timer.SetEnabled(true);
    clock.Advance(50);
    EXPECT_EQ(rec.Fired.back(), "t@12750");
}

TEST(CvManualClock, HandlerMayStopOrRestartItsTimer)
{
    TCvManualClock clock;
    TCvTimerServiceScope scope(&clock);
    int count = 0;
    TCvTimer timer(10);
    timer.SetOnTimer(TCvEvent<TCvTimerParams>::FromFunction([&](TCvTimerParams& p) {
        ++count;
        if (count == 2)
            p.Sender->Start(100);
        if (count == 3)
            p.Sender->Stop();
    }));
    timer.Start();
    clock.Advance(1000);
    EXPECT_EQ(count, 3); // 10, 20, then 120 and stopped
    EXPECT_EQ(clock.NextDueIn(), -1);
}

TEST(CvManualClock, DestroyedTimerIsForgotten)
{
    TCvManualClock clock;
    TCvTimerServiceScope scope(&clock);
    int count = 0;
    {
        TCvTimer timer(10);
        timer.SetOnTimer(TCvEvent<TCvTimerParams>::FromFunction([&](TCvTimerParams&) { ++count; }));
        timer.Start();
    }
    clock.Advance(100);
    EXPECT_EQ(count, 0);
    EXPECT_FALSE(clock.AdvanceToNext());
}
