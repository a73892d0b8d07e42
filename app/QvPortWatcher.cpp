#include "app/QvPortWatcher.h"

#include <glob.h>
#include <sys/stat.h>
#include <utility>

TQvPortWatcher::TQvPortWatcher(std::string pattern, uint32_t intervalMs)
    : fPattern(std::move(pattern))
    , fTimer(intervalMs)
{
    fTimer.SetOnTimer(TCvEvent<TCvTimerParams>(this, &TQvPortWatcher::TimerTick));
}

TQvPortWatcher::~TQvPortWatcher()
{
    fTimer.Stop();
}

void TQvPortWatcher::Start()
{
    fTimer.Start();
    Scan();
}

void TQvPortWatcher::Stop()
{
    fTimer.Stop();
}

std::vector<std::string> TQvPortWatcher::Present() const
{
    std::vector<std::string> ports;
    for (const auto& entry : fPresent)
        ports.push_back(entry.first);
    return ports;
}

void TQvPortWatcher::TimerTick(TCvTimerParams&)
{
    Scan();
}

void TQvPortWatcher::Scan()
{
    std::map<std::string, TIdentity> now;
    glob_t found{};
    if (::glob(fPattern.c_str(), 0, nullptr, &found) == 0) {
        for (size_t i = 0; i < found.gl_pathc; ++i) {
            struct stat st {};
            // stat follows links: a link whose device is gone is no port.
            if (::stat(found.gl_pathv[i], &st) != 0 || !(S_ISCHR(st.st_mode)))
                continue;
            now[found.gl_pathv[i]] = TIdentity{static_cast<uint64_t>(st.st_dev), static_cast<uint64_t>(st.st_ino),
                                               static_cast<uint64_t>(st.st_rdev)};
        }
    }
    ::globfree(&found);

    std::vector<std::string> gone;
    std::vector<std::string> appeared;
    for (const auto& [port, identity] : fPresent) {
        const auto it = now.find(port);
        if (it == now.end() || !(it->second == identity))
            gone.push_back(port);
    }
    for (const auto& [port, identity] : now) {
        const auto it = fPresent.find(port);
        if (it == fPresent.end() || !(it->second == identity))
            appeared.push_back(port);
    }
    fPresent = std::move(now);
    // Reported once the new state is in place, so a handler sees the watcher as it now is.
    for (const std::string& port : gone) {
        TQvPortWatchParams params{port};
        fOnGone(params);
    }
    for (const std::string& port : appeared) {
        TQvPortWatchParams params{port};
        fOnAppear(params);
    }
}
