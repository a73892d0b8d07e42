// A real pseudo-terminal for serial tests: the test holds the master side and hands the slave
// path to the port under test.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <string>

class TPtyPair {
public:
    TPtyPair()
    {
        fMaster = ::posix_openpt(O_RDWR | O_NOCTTY);
        if (fMaster < 0 || ::grantpt(fMaster) != 0 || ::unlockpt(fMaster) != 0)
            return;
        const char* name = ::ptsname(fMaster);
        if (name)
            fSlavePath = name;
        ::fcntl(fMaster, F_SETFL, ::fcntl(fMaster, F_GETFL) | O_NONBLOCK);
        // Keep the slave open once so the line discipline exists; raw, so nothing is echoed.
        fSlaveHold = ::open(fSlavePath.c_str(), O_RDWR | O_NOCTTY);
        termios t {};
        if (fSlaveHold >= 0 && ::tcgetattr(fSlaveHold, &t) == 0) {
            ::cfmakeraw(&t);
            ::tcsetattr(fSlaveHold, TCSANOW, &t);
        }
    }
    ~TPtyPair()
    {
        CloseMaster();
        if (fSlaveHold >= 0)
            ::close(fSlaveHold);
    }
    TPtyPair(const TPtyPair&) = delete;
    TPtyPair& operator=(const TPtyPair&) = delete;

    bool Valid() const { return fMaster >= 0 && fSlaveHold >= 0 && !fSlavePath.empty(); }
    const std::string& SlavePath() const { return fSlavePath; }
    int SlaveFd() const { return fSlaveHold; }

    // The far end: what the device "sends" to the port under test.
    bool Send(const std::string& bytes)
    {
        return ::write(fMaster, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
    }
    // Whatever the port under test has written so far (non-blocking).
    std::string ReadAvailable()
    {
        std::string out;
        char buf[4096];
        for (;;) {
            const ssize_t n = ::read(fMaster, buf, sizeof buf);
            if (n <= 0)
                break;
            out.append(buf, static_cast<size_t>(n));
        }
        return out;
    }
    // Closes the far end, as when the device goes away. The held slave descriptor is closed
    // too, so the port under test is the only user left.
    void CloseMaster()
    {
        if (fMaster >= 0)
            ::close(fMaster);
        fMaster = -1;
    }
    void ReleaseSlaveHold()
    {
        if (fSlaveHold >= 0)
            ::close(fSlaveHold);
        fSlaveHold = -1;
    }

private:
    int fMaster = -1;
    int fSlaveHold = -1;
    std::string fSlavePath;
};
