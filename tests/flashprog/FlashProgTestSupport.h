// Shared fixtures of the engine tests: a temporary folder, a capture of the application log,
// and a rig of the engine with a command processor, an in-memory port and an in-process
// simulated beacon, driven by a manual clock.
#pragma once

#include "flashprog/QvFlashProg.h"
#include "framework/CvAppLog.h"
#include "framework/CvTimer.h"
#include "protocol/QvCmdProc.h"
#include "tests/framework/FwTestSupport.h"
#include "tests/support/TestComPort.h"
#include "tools/sim/QvSimBeacon.h"

#include <gtest/gtest.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

class TFpTempDir : public TFwTempDir {
public:
    // Writes a file into the folder and returns its path.
    std::string Write(const std::string& name, const std::string& content) const
    {
        FwWriteFile(File(name), content);
        return File(name);
    }
};

// The log stores double quotes as single ones: expected texts go through this.
inline std::string FpLogged(std::string text)
{
    std::replace(text.begin(), text.end(), '"', '\'');
    return text;
}
inline std::vector<std::string> FpLogged(std::vector<std::string> texts)
{
    for (std::string& t : texts)
        t = FpLogged(t);
    return texts;
}

// A real application log (its file in a temporary folder) installed as AppLog for the
// capture's lifetime; it records every entry added after its start-up lines, with the time of
// the current timer service.
class TFpLogCapture {
public:
    struct TEntry {
        TCvAppLogMsgType Type;
        std::string Text;
        uint64_t AtMs;
    };

    TFpLogCapture()
        : fPrevious(AppLog)
    {
        // The log's auto-save timer runs on a clock of its own, so it never fires in a test.
        TCvTimerServiceScope scope(&fLogClock);
        fLog = std::make_unique<TCvAppLog>(fDir.File("test.log"));
        fLog->SetOnAdd(TCvAppLogAddEvent(this, &TFpLogCapture::OnAdd));
        AppLog = fLog.get();
    }
    ~TFpLogCapture()
    {
        fLog->SetOnAdd({}); // the closing entry comes after the capture is gone
        AppLog = fPrevious;
    }
    TFpLogCapture(const TFpLogCapture&) = delete;
    TFpLogCapture& operator=(const TFpLogCapture&) = delete;

    const std::vector<TEntry>& Entries() const { return fEntries; }
    void Clear() { fEntries.clear(); }

    std::vector<std::string> Texts() const
    {
        std::vector<std::string> out;
        for (const TEntry& e : fEntries)
            out.push_back(e.Text);
        return out;
    }
    std::vector<std::string> Texts(TCvAppLogMsgType type) const
    {
        std::vector<std::string> out;
        for (const TEntry& e : fEntries)
            if (e.Type == type)
                out.push_back(e.Text);
        return out;
    }
    // "TAG text" for every entry.
    std::vector<std::string> Lines() const
    {
        std::vector<std::string> out;
        for (const TEntry& e : fEntries)
            out.push_back(TCvAppLog::MsgTypeStr(e.Type) + " " + e.Text);
        return out;
    }
    // The time of the first entry with this text, or -1.
    int64_t TimeOf(const std::string& text) const
    {
        for (const TEntry& e : fEntries)
            if (e.Text == FpLogged(text))
                return static_cast<int64_t>(e.AtMs);
        return -1;
    }
    size_t Count(const std::string& text) const
    {
        return static_cast<size_t>(std::count_if(fEntries.begin(), fEntries.end(),
                                                 [&](const TEntry& e) { return e.Text == FpLogged(text); }));
    }
    std::string Dump() const
    {
        std::ostringstream out;
        for (const TEntry& e : fEntries)
            out << e.AtMs << " " << TCvAppLog::MsgTypeStr(e.Type) << " " << e.Text << "\n";
        return out.str();
    }

private:
    void OnAdd(TCvAppLogAddParams& p)
    {
        const TCvTimerService* service = TCvTimerService::Current();
        fEntries.push_back({p.MsgType, p.Msg, service ? service->NowMs() : 0});
    }

    TFwTempDir fDir;
    TCvManualClock fLogClock;
    std::unique_ptr<TCvAppLog> fLog;
    TCvAppLog* fPrevious;
    std::vector<TEntry> fEntries;
};

// Moves `clock` on by `ms`, stopping at every due timer; `pump` delivers what each step made
// happen (before the first step and after every one).
template <typename TPump>
void FpAdvance(TCvManualClock& clock, uint64_t ms, TPump&& pump)
{
    const uint64_t end = clock.NowMs() + ms;
    pump();
    for (;;) {
        const int64_t due = clock.NextDueIn();
        if (due < 0 || clock.NowMs() + static_cast<uint64_t>(due) > end)
            break;
        clock.AdvanceToNext();
        pump();
    }
    clock.Advance(end - clock.NowMs());
    pump();
}

// The engine against an in-process simulated beacon over the in-memory port. The beacon
// answers at once (no pacing); its replies reach the engine when the rig pumps the port.
class TFpRig {
public:
    explicit TFpRig(const TQvSimConfig& config = TQvSimConfig())
    {
        Proc.SetComPort(&Port);
        Beacon = std::make_unique<TQvSimBeacon>(config);
        Beacon->SetOnOutput(TCvEvent<TQvSimOutputParams>::FromFunction([this](TQvSimOutputParams& p) {
            Port.Receive(std::string(reinterpret_cast<const char*>(p.Data), p.Count));
        }));
        Port.SetOnWrite([this](const std::string& text) {
            if (Answering)
                Beacon->Input(text);
        });
        Port.Open();
        Engine = std::make_unique<TQvFlashProg>(&Port, &Proc);
        Engine->SetOnAction(TQvFlashProgActionEvent::FromFunction([this](TQvFlashProgActionParams& p) {
            EXPECT_EQ(p.Sender, Engine.get());
            Actions.push_back(p);
        }));
    }
    ~TFpRig()
    {
        Engine.reset(); // before the processor it registered with
        Port.SetOnWrite(nullptr);
    }

    // Delivers every reply waiting on the port (replies to commands sent from inside a reply
    // handler are delivered in the same go).
    void Pump()
    {
        while (Port.DeliverPending()) {
        }
    }
    // Moves the clock on by `ms`, stopping at every due timer to deliver what it made happen.
    void Advance(uint64_t ms)
    {
        FpAdvance(Clock, ms, [this] { Pump(); });
    }

    std::vector<EQvFlashProgAction> ActionKinds() const
    {
        std::vector<EQvFlashProgAction> out;
        for (const TQvFlashProgActionParams& a : Actions)
            out.push_back(a.Action);
        return out;
    }
    std::vector<int32_t> Progress() const
    {
        std::vector<int32_t> out;
        for (const TQvFlashProgActionParams& a : Actions)
            if (a.Action == FP_ACTION_PROGRESS)
                out.push_back(a.Progress);
        return out;
    }
    // Command identifiers of the lines the engine wrote, in order.
    std::vector<int> SentIds() const
    {
        std::vector<int> out;
        const std::string& w = Port.Written();
        for (size_t pos = w.find('#'); pos != std::string::npos; pos = w.find('#', pos + 1))
            out.push_back(std::stoi(w.substr(pos + 1, 2), nullptr, 16));
        return out;
    }
    // The lines the engine wrote, without their CR LF.
    std::vector<std::string> SentLines() const
    {
        std::vector<std::string> out;
        std::istringstream in(Port.Written());
        for (std::string line; std::getline(in, line);)
            out.push_back(line.substr(0, line.find('\r')));
        return out;
    }

    TCvManualClock Clock;
    TCvTimerServiceScope Scope{&Clock};
    TFpLogCapture Log;
    TQvTestComPort Port; // before the processor, which unbinds from it when destroyed
    TQvCmdProc Proc;
    std::unique_ptr<TQvSimBeacon> Beacon;
    std::unique_ptr<TQvFlashProg> Engine;
    std::vector<TQvFlashProgActionParams> Actions;
    bool Answering = true; // false: the beacon hears nothing (a dead line)
};
