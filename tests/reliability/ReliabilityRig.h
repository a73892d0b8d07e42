// The program's core against in-process simulated beacons on real pseudo-terminals, on the Qt
// timer service: each beacon is built from the simulator's own command line (faults included),
// the core connects to it through its settings, and the rig waits on the event loop with
// bounded time-outs for the engine's events and the log.
#pragma once

#include "app/QvApp.h"
#include "app/QvDialogs.h"
#include "app/QvSettings.h"
#include "flashprog/QvFlashProg.h"
#include "framework/CvAppLog.h"
#include "framework/qt/CvQtTimerService.h"
#include "serial/ComPort.h"
#include "tests/framework/FwTestSupport.h"
#include "tools/fwxpack/QvFwxPack.h"
#include "tools/sim/QvSimBeacon.h"
#include "tools/sim/QvSimOptions.h"
#include "tools/simqt/QvSimHost.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

// A simulated beacon on its own pseudo-terminal.
struct TRelBeacon {
    std::unique_ptr<TQvSimBeacon> Beacon;
    std::unique_ptr<TQvSimHost> Host;
};

// Builds a beacon from simulator options ("--drop PROG_BLOCK:2 --reboot-ms 300").
inline TRelBeacon RelMakeBeacon(const std::vector<std::string>& args)
{
    TRelBeacon out;
    TQvSimOptions options;
    std::string error;
    EXPECT_TRUE(TQvSimOptions::Parse(args, options, error)) << error;
    TQvSimConfig config;
    EXPECT_TRUE(options.Resolve(config, error)) << error;
    out.Beacon = std::make_unique<TQvSimBeacon>(config);
    out.Host = std::make_unique<TQvSimHost>(*out.Beacon);
    EXPECT_TRUE(out.Host->OpenPty(error)) << error;
    return out;
}

inline std::vector<std::string> RelSplit(const std::string& text)
{
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string word; in >> word;)
        out.push_back(word);
    return out;
}

// Runs the event loop until `done` holds or `timeoutMs` passed; returns whether it holds.
inline bool RelWaitUntil(const std::function<bool()>& done, int timeoutMs)
{
    if (done())
        return true;
    QEventLoop loop;
    QTimer check;
    check.setInterval(2);
    QObject::connect(&check, &QTimer::timeout, &loop, [&] {
        if (done())
            loop.quit();
    });
    QTimer limit;
    limit.setSingleShot(true);
    QObject::connect(&limit, &QTimer::timeout, &loop, &QEventLoop::quit);
    check.start();
    limit.start(timeoutMs);
    loop.exec();
    return done();
}

// Runs the event loop for `ms` (for checking that nothing more happens).
inline void RelSettle(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// The core in a temporary program folder (executable, settings and log there), its log and the
// engine's events recorded.
class TRelCore {
public:
    TRelCore()
    {
        fSavedDialogs = QvDialogs();
        QvDialogs().ShowError = [this](const std::string& text, const std::string&) { Boxes.push_back(text); };
        Core = std::make_unique<TQvApp>();
        AppCore = Core.get();
        AppLog->SetOnAdd(TCvAppLogAddEvent::FromFunction([this](TCvAppLogAddParams& p) {
            Lines.push_back(TCvAppLog::MsgTypeStr(p.MsgType) + " " + p.Msg);
        }));
        Engine()->SetOnAction(TQvFlashProgActionEvent::FromFunction([this](TQvFlashProgActionParams& p) {
            Actions.push_back(p.Action);
        }));
    }
    ~TRelCore()
    {
        AppLog->SetOnAdd({});
        AppCore = nullptr;
        Core.reset();
        QvDialogs() = fSavedDialogs;
    }
    TRelCore(const TRelCore&) = delete;
    TRelCore& operator=(const TRelCore&) = delete;

    TQvFlashProg* Engine() const { return Core->FlashProg(); }

    // Points the settings at `path` and connects as the Connect button does.
    bool Connect(const std::string& path)
    {
        Core->CommsDisconnect();
        Core->Settings()->SerialPort().SetPortName(path);
        Core->Settings()->SerialPort().fBaudRate = br115200;
        return Core->CommsConnect();
    }

    // Waits for the end of a run (FP_ACTION_DONE or FP_ACTION_ERROR after `from` actions).
    bool WaitRunEnd(size_t from, int timeoutMs)
    {
        return RelWaitUntil(
            [&] {
                for (size_t i = from; i < Actions.size(); ++i)
                    if (Actions[i] == FP_ACTION_DONE || Actions[i] == FP_ACTION_ERROR)
                        return true;
                return false;
            },
            timeoutMs);
    }

    std::string Dump(size_t from = 0) const
    {
        std::string out;
        for (size_t i = from; i < Lines.size(); ++i)
            out += Lines[i] + "\n";
        return out;
    }

    TFwAppEnv Env;
    TCvQtTimerService Timers;
    TCvTimerServiceScope Scope{&Timers};
    std::unique_ptr<TQvApp> Core;
    std::vector<std::string> Lines;
    std::vector<EQvFlashProgAction> Actions;
    std::vector<std::string> Boxes;

private:
    TQvDialogs fSavedDialogs;
};

// A package of `blocks` blocks of `blockSize` bytes, written into `dir`; the image comes back in
// `image`.
inline std::string RelWritePackage(const TFwTempDir& dir, size_t blocks, size_t blockSize,
                                   std::vector<uint8_t>& image, const std::string& name = "app.fwx")
{
    image.resize(blocks * blockSize);
    uint32_t x = 0x2545F491u;
    for (uint8_t& b : image) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        b = static_cast<uint8_t>(x);
    }
    TQvFwxPackOptions options;
    options.BlockSize = static_cast<uint32_t>(blockSize);
    options.Name = "Reliability image";
    options.Timestamp = "2026-05-06 07:08:09";
    std::string error;
    const std::string path = dir.File(name);
    EXPECT_TRUE(TQvFwxPack::WriteFile(path, image, options, error)) << error;
    return path;
}
