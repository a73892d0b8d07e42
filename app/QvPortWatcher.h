// Watches for serial ports that match a shell glob (`/dev/serial/by-id/*`, `/dev/ttyUSB*`): polls
// the pattern on a main-thread timer and reports each port that appears and each that goes away.
// A port is present while its path resolves to a device; a path that comes back, or now leads
// to another device, is a new appearance.
#pragma once

#include "framework/CvEvent.h"
#include "framework/CvTimer.h"

#include <cstdint>
#include <map>
#include <string>
#include <vector>

struct TQvPortWatchParams {
    std::string Port;
};
using TQvPortWatchEvent = TCvEvent<TQvPortWatchParams>;

class TQvPortWatcher {
public:
    explicit TQvPortWatcher(std::string pattern, uint32_t intervalMs = DefaultIntervalMs);
    ~TQvPortWatcher();
    TQvPortWatcher(const TQvPortWatcher&) = delete;
    TQvPortWatcher& operator=(const TQvPortWatcher&) = delete;

    // Scans at once (ports already there count as appearing), then every interval.
    void Start();
    void Stop();
    // One look at the pattern: reports what went away, then what appeared, each in name order.
    void Scan();

    const std::string& Pattern() const { return fPattern; }
    std::vector<std::string> Present() const;
    void SetOnAppear(const TQvPortWatchEvent& handler) { fOnAppear = handler; }
    void SetOnGone(const TQvPortWatchEvent& handler) { fOnGone = handler; }

    static constexpr uint32_t DefaultIntervalMs = 250;

private:
    // What a path leads to: the device and the file behind it.
    struct TIdentity {
        uint64_t Dev = 0;
        uint64_t Ino = 0;
        uint64_t RDev = 0;
        bool operator==(const TIdentity&) const = default;
    };
    void TimerTick(TCvTimerParams& params);

    std::string fPattern;
    TCvTimer fTimer;
    std::map<std::string, TIdentity> fPresent;
    TQvPortWatchEvent fOnAppear;
    TQvPortWatchEvent fOnGone;
};
