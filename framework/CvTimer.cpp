#include "framework/CvTimer.h"

#include <stdexcept>

namespace {
TCvTimerService*& CurrentService()
{
    static TCvTimerService* service = nullptr;
    return service;
}
} // namespace

TCvTimerService* TCvTimerService::Current()
{
    return CurrentService();
}

void TCvTimerService::SetCurrent(TCvTimerService* service)
{
    CurrentService() = service;
}

TCvTimer::TCvTimer(uint32_t interval, TCvTimerService* service)
    : fInterval(interval)
    , fService(service ? service : TCvTimerService::Current())
{
}

TCvTimer::~TCvTimer()
{
    if (fService)
        fService->Release(*this);
}

TCvTimerService* TCvTimer::Service()
{
    if (!fService)
        fService = TCvTimerService::Current();
    if (!fService)
        throw std::logic_error("TCvTimer: no timer service installed");
    return fService;
}

void TCvTimer::Arm()
{
    if (fInterval == 0)
        Service()->Disarm(*this); // a zero interval never fires, as with a toolkit timer
    else
        Service()->Arm(*this, fInterval);
}

void TCvTimer::SetInterval(uint32_t ms)
{
    fInterval = ms;
    if (fEnabled)
        Arm();
}

void TCvTimer::SetEnabled(bool enabled)
{
    if (enabled == fEnabled)
        return;
    fEnabled = enabled;
    if (enabled)
        Arm();
    else if (fService)
        fService->Disarm(*this);
}

void TCvTimer::Start()
{
    fEnabled = true;
    Arm();
}

void TCvTimer::Start(uint32_t ms)
{
    fInterval = ms;
    Start();
}

void TCvTimer::Fire()
{
    if (!fEnabled)
        return;
    Arm();
    TCvTimerParams params{this};
    // A copy, so a handler that destroys its own timer does not destroy the running handler.
    const TCvEvent<TCvTimerParams> handler = fOnTimer;
    handler(params);
}

TCvManualClock::~TCvManualClock()
{
    if (TCvTimerService::Current() == this)
        TCvTimerService::SetCurrent(nullptr);
}

void TCvManualClock::Arm(TCvTimer& timer, uint32_t ms)
{
    fPending[&timer] = TEntry{fNow + ms, fSeq++};
}

void TCvManualClock::Disarm(TCvTimer& timer)
{
    fPending.erase(&timer);
}

int64_t TCvManualClock::NextDueIn() const
{
    int64_t best = -1;
    for (const auto& [timer, entry] : fPending) {
        const int64_t in = static_cast<int64_t>(entry.Due - fNow);
        if (best < 0 || in < best)
            best = in;
    }
    return best;
}

bool TCvManualClock::FireNextDue(uint64_t limit)
{
    TCvTimer* next = nullptr;
    TEntry best{0, 0};
    for (const auto& [timer, entry] : fPending) {
        if (entry.Due > limit)
            continue;
        if (!next || entry.Due < best.Due || (entry.Due == best.Due && entry.Seq < best.Seq)) {
            next = timer;
            best = entry;
        }
    }
    if (!next)
        return false;
    fNow = best.Due;
    fPending.erase(next);
    next->Fire();
    return true;
}

void TCvManualClock::Advance(uint64_t ms)
{
    const uint64_t target = fNow + ms;
    while (FireNextDue(target)) {
    }
    fNow = target;
}

bool TCvManualClock::AdvanceToNext()
{
    const int64_t in = NextDueIn();
    if (in < 0)
        return false;
    Advance(static_cast<uint64_t>(in));
    return true;
}
