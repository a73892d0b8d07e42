// The two places a fault scenario runs: the engine with a command processor over the
// in-memory port on the manual clock (simulated milliseconds, no waiting), and the program's
// core over a real pseudo-terminal on the Qt timer service. Both build their beacons from the
// simulator's own command line and record the log and the engine's events the same way.
#pragma once

#include "tests/flashprog/FlashProgTestSupport.h"
#include "tests/reliability/ReliabilityRig.h"
#include "tests/support/TestComPort.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

class TRelStation {
public:
    virtual ~TRelStation() = default;
    // Replaces the beacon with a new one built from simulator options and connects to it.
    virtual bool Connect(const std::vector<std::string>& simArgs) = 0;
    // Runs time on until `done` holds or `ms` passed; returns whether it holds.
    virtual bool WaitUntil(const std::function<bool()>& done, int ms) = 0;
    virtual TQvFlashProg* Engine() = 0;
    virtual TComPort* Port() = 0;
    virtual std::string PortName() = 0;
    virtual std::vector<std::string> Lines() = 0;
    virtual const std::vector<EQvFlashProgAction>& Actions() = 0;
    virtual std::vector<uint8_t> BeaconImage() = 0;
    // Error boxes the run raised.
    virtual std::vector<std::string> Boxes() = 0;
    // The folder for the scenario's packages.
    virtual const TFwTempDir& Dir() = 0;

    std::string Dump(size_t from = 0)
    {
        const std::vector<std::string> lines = Lines();
        std::string out;
        for (size_t i = from; i < lines.size(); ++i)
            out += lines[i] + "\n";
        return out;
    }
};

// The engine over the in-memory port, its line timed at 115200 baud, on the manual clock. A
// beacon that closes its device makes the port lose it once the write that reached it returned,
// as the device port does on the next pass of its event loop.
class TRelMemStation : public TRelStation {
public:
    TRelMemStation()
    {
        fPort.SetPort("/dev/ttyQV-mem");
        fPort.SetBaudRate(br115200);
        fPort.SetLineTimed(true);
        fProc.SetComPort(&fPort);
        fProc.SetDecodeErrorEnUnregistered(false);
        // Failed decodes reach the log as the program's core reports them.
        fProc.SetOnDecode(TCvEvent<TQvCmdProcDecodeParams>::FromFunction([](TQvCmdProcDecodeParams& p) {
            if (p.Status != cdec_OK)
                AppLog->Add(logError, p.StatusStr);
        }));
        fEngine = std::make_unique<TQvFlashProg>(&fPort, &fProc);
        fEngine->SetOnAction(TQvFlashProgActionEvent::FromFunction(
            [this](TQvFlashProgActionParams& p) { fActions.push_back(p.Action); }));
        fPort.SetOnWrite([this](const std::string& text) {
            if (fBeacon)
                fBeacon->Input(text);
        });
    }
    ~TRelMemStation() override
    {
        fEngine.reset();
        fPort.SetOnWrite(nullptr);
        fPort.Close();
    }

    bool Connect(const std::vector<std::string>& simArgs) override
    {
        fPort.Close();
        fLosePending = false;
        TQvSimOptions options;
        TQvSimConfig config;
        std::string error;
        if (!TQvSimOptions::Parse(simArgs, options, error) || !options.Resolve(config, error)) {
            ADD_FAILURE() << error;
            return false;
        }
        fBeacon = std::make_unique<TQvSimBeacon>(config);
        fBeacon->SetOnOutput(TCvEvent<TQvSimOutputParams>::FromFunction([this](TQvSimOutputParams& p) {
            fPort.Receive(std::string(reinterpret_cast<const char*>(p.Data), p.Count));
        }));
        fBeacon->SetOnClose(TCvEvent<TQvSimBeaconParams>::FromFunction([this](TQvSimBeaconParams&) {
            fLosePending = true;
        }));
        fPort.Open();
        fProc.DecodeReset();
        return fPort.Connected();
    }

    bool WaitUntil(const std::function<bool()>& done, int ms) override
    {
        const uint64_t end = fClock.NowMs() + static_cast<uint64_t>(ms);
        for (;;) {
            Pump();
            if (done())
                return true;
            const int64_t due = fClock.NextDueIn();
            if (due < 0 || fClock.NowMs() + static_cast<uint64_t>(due) > end) {
                fClock.Advance(end - fClock.NowMs());
                Pump();
                return done();
            }
            fClock.AdvanceToNext();
        }
    }

    TQvFlashProg* Engine() override { return fEngine.get(); }
    TComPort* Port() override { return &fPort; }
    std::string PortName() override { return fPort.Port(); }
    std::vector<std::string> Lines() override { return fLog.Lines(); }
    const std::vector<EQvFlashProgAction>& Actions() override { return fActions; }
    std::vector<uint8_t> BeaconImage() override { return fBeacon ? fBeacon->Image() : std::vector<uint8_t>(); }
    std::vector<std::string> Boxes() override { return {}; } // nothing here raises a box
    const TFwTempDir& Dir() override { return fDir; }

private:
    void Pump()
    {
        for (;;) {
            if (fLosePending) {
                fLosePending = false;
                fPort.Lose();
            } else if (!fPort.DeliverPending()) {
                break;
            }
        }
    }

    TCvManualClock fClock;
    TCvTimerServiceScope fScope{&fClock};
    TFpLogCapture fLog;
    TFwTempDir fDir;
    TQvTestComPort fPort; // before the processor, which unbinds from it when destroyed
    TQvCmdProc fProc;
    std::unique_ptr<TQvFlashProg> fEngine;
    std::unique_ptr<TQvSimBeacon> fBeacon;
    std::vector<EQvFlashProgAction> fActions;
    bool fLosePending = false;
};

// The program's core over a real pseudo-terminal to a beacon in this process, on real timers.
class TRelPtyStation : public TRelStation {
public:
    bool Connect(const std::vector<std::string>& simArgs) override
    {
        fBeacons.push_back(RelMakeBeacon(simArgs)); // earlier beacons stay until the end
        fPortName = fBeacons.back().Host->DevicePath();
        return fRig.Connect(fPortName);
    }
    bool WaitUntil(const std::function<bool()>& done, int ms) override { return RelWaitUntil(done, ms); }
    TQvFlashProg* Engine() override { return fRig.Engine(); }
    TComPort* Port() override { return fRig.Core->ComPort(); }
    std::string PortName() override { return fPortName; }
    std::vector<std::string> Lines() override { return fRig.Lines; }
    const std::vector<EQvFlashProgAction>& Actions() override { return fRig.Actions; }
    std::vector<uint8_t> BeaconImage() override { return fBeacons.back().Beacon->Image(); }
    std::vector<std::string> Boxes() override { return fRig.Boxes; }
    const TFwTempDir& Dir() override { return fRig.Env.Dir; }

private:
    TRelCore fRig;
    std::vector<TRelBeacon> fBeacons;
    std::string fPortName;
};
