// Main-thread timers. A TCvTimer takes its ticks from a timer service: the Qt service in the
// programs (framework/qt), a manual clock in tests that advances simulated milliseconds.
#pragma once

#include "framework/CvEvent.h"

#include <cstdint>
#include <map>

class TCvTimer;

struct TCvTimerParams {
    TCvTimer* Sender = nullptr;
};

class TCvTimerService {
public:
    virtual ~TCvTimerService() = default;
    // Makes `timer` due `ms` milliseconds from now, replacing any earlier arming.
    virtual void Arm(TCvTimer& timer, uint32_t ms) = 0;
    // Cancels a pending arming; harmless when there is none.
    virtual void Disarm(TCvTimer& timer) = 0;
    // The timer is being destroyed: forget it entirely.
    virtual void Release(TCvTimer& timer) { Disarm(timer); }
    // Monotonic milliseconds since an arbitrary start.
    virtual uint64_t NowMs() const = 0;

    // The process-wide service new timers bind to.
    static TCvTimerService* Current();
    static void SetCurrent(TCvTimerService* service);
};

// A periodic timer like a desktop toolkit's: while enabled it fires every `Interval` ms.
class TCvTimer {
public:
    explicit TCvTimer(uint32_t interval = 1000, TCvTimerService* service = nullptr);
    ~TCvTimer();
    TCvTimer(const TCvTimer&) = delete;
    TCvTimer& operator=(const TCvTimer&) = delete;

    uint32_t Interval() const { return fInterval; }
    // A new interval restarts an enabled timer from now.
    void SetInterval(uint32_t ms);
    bool Enabled() const { return fEnabled; }
    void SetEnabled(bool enabled);
    // Enables the timer and counts the interval from now (restarting it when already running).
    void Start();
    void Start(uint32_t ms);
    void Stop() { SetEnabled(false); }

    const TCvEvent<TCvTimerParams>& OnTimer() const { return fOnTimer; }
    void SetOnTimer(const TCvEvent<TCvTimerParams>& handler) { fOnTimer = handler; }

    // Called by the service when the timer is due: re-arms for the next period, then notifies.
    void Fire();

private:
    TCvTimerService* Service();
    void Arm();

    uint32_t fInterval;
    bool fEnabled = false;
    TCvTimerService* fService;
    TCvEvent<TCvTimerParams> fOnTimer;
};

// Simulated time for tests: nothing fires until Advance moves the clock past a due time.
class TCvManualClock : public TCvTimerService {
public:
    TCvManualClock() = default;
    ~TCvManualClock() override;

    void Arm(TCvTimer& timer, uint32_t ms) override;
    void Disarm(TCvTimer& timer) override;
    uint64_t NowMs() const override { return fNow; }

    // Moves time forward by `ms`, firing every timer that falls due, in order of due time
    // (and of arming for equal times); a timer re-armed while firing can fire again.
    void Advance(uint64_t ms);
    // Advances to the next due time and fires what is due then; false when nothing is armed.
    bool AdvanceToNext();
    size_t PendingCount() const { return fPending.size(); }
    // Milliseconds until the next due timer, or -1 when none is armed.
    int64_t NextDueIn() const;

private:
    struct TEntry {
        uint64_t Due;
        uint64_t Seq;
    };
    bool FireNextDue(uint64_t limit);

    uint64_t fNow = 0;
    uint64_t fSeq = 0;
    std::map<TCvTimer*, TEntry> fPending;
};

// Installs a service as current for a scope (tests), restoring the previous one after.
class TCvTimerServiceScope {
public:
    explicit TCvTimerServiceScope(TCvTimerService* service)
        : fPrevious(TCvTimerService::Current())
    {
        TCvTimerService::SetCurrent(service);
    }
    ~TCvTimerServiceScope() { TCvTimerService::SetCurrent(fPrevious); }
    TCvTimerServiceScope(const TCvTimerServiceScope&) = delete;
    TCvTimerServiceScope& operator=(const TCvTimerServiceScope&) = delete;

private:
    TCvTimerService* fPrevious;
};
