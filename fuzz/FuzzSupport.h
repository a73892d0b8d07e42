// Shared set-up of the fuzz targets: a manual clock as the timer service and a program log
// without a file (the loaders report through it), and a per-process scratch file for the
// loaders that read from a path.
#pragma once

#include "framework/CvAppLog.h"
#include "framework/CvTimer.h"

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

struct TFuzzEnv {
    TFuzzEnv()
    {
        Log = std::make_unique<TCvAppLog>("");
        AppLog = Log.get();
        char buffer[64];
        std::snprintf(buffer, sizeof(buffer), "/tmp/qv-fuzz-%d", static_cast<int>(::getpid()));
        Scratch = buffer;
    }
    ~TFuzzEnv()
    {
        AppLog = nullptr;
        std::remove(Scratch.c_str());
    }

    // Replaces the scratch file's content; returns its path.
    const std::string& WriteScratch(const uint8_t* data, size_t size)
    {
        FILE* f = std::fopen(Scratch.c_str(), "wb");
        if (f == nullptr)
            std::abort();
        if (size > 0 && std::fwrite(data, 1, size, f) != size)
            std::abort();
        std::fclose(f);
        return Scratch;
    }

    TCvManualClock Clock;
    TCvTimerServiceScope Scope{&Clock};
    std::unique_ptr<TCvAppLog> Log;
    std::string Scratch;
};

// A property a target checks: a failure is a finding, like a crash.
#define QV_FUZZ_CHECK(cond)                                                                        \
    do {                                                                                           \
        if (!(cond)) {                                                                             \
            std::fprintf(stderr, "check failed: %s (%s:%d)\n", #cond, __FILE__, __LINE__);        \
            std::abort();                                                                          \
        }                                                                                          \
    } while (0)
