// TQvSimBeacon: a simulated beacon without any device. Bytes go in through Input, reply bytes
// come out through OnOutput; it keeps the beacon's state, a flash model of the application
// section, the programming session, the reboot after an update, and the fault injection.
// Every delay runs on TCvTimer (see TQvSimLink), so a test's manual clock drives it.
#pragma once

#include "framework/CvEvent.h"
#include "framework/CvTimer.h"
#include "tools/sim/QvSimFaults.h"
#include "tools/sim/QvSimLine.h"
#include "tools/sim/QvSimLink.h"
#include "tools/sim/QvSimState.h"

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

struct TQvSimConfig {
    TQvSimState State = TQvSimState::Defaults();
    uint32_t RebootMs = 3000;       // silence after an update acknowledgement
    uint32_t Baud = 0;              // line-rate pacing; 0 for none
    bool AcceptAnyChecksum = false; // skip the image checksum test of the update
    TQvSimFaults Faults;
    std::string StateFile;          // when set, the state is saved there after every change
};

class TQvSimBeacon;

struct TQvSimOutputParams {
    TQvSimBeacon* Sender = nullptr;
    const uint8_t* Data = nullptr;
    size_t Count = 0;
};

enum EQvSimLogKind : uint8_t {
    SIMLOG_RX,    // a line received
    SIMLOG_TX,    // a line sent
    SIMLOG_NOTE,  // what the beacon did (reboot, a fault applied, a line ignored)
    SIMLOG_ERROR, // something the operator must see (the state file could not be saved)
};

struct TQvSimLogParams {
    TQvSimBeacon* Sender = nullptr;
    EQvSimLogKind Kind = SIMLOG_NOTE;
    std::string Text;
};

struct TQvSimBeaconParams {
    TQvSimBeacon* Sender = nullptr;
};

class TQvSimBeacon {
public:
    explicit TQvSimBeacon(const TQvSimConfig& config = TQvSimConfig());
    ~TQvSimBeacon();
    TQvSimBeacon(const TQvSimBeacon&) = delete;
    TQvSimBeacon& operator=(const TQvSimBeacon&) = delete;

    // Bytes from the host. Safe to call from inside an OnOutput handler.
    void Input(const uint8_t* data, size_t count);
    void Input(std::string_view text);

    // Reply bytes for the host (noise, chunks and pacing already applied).
    void SetOnOutput(const TCvEvent<TQvSimOutputParams>& e) { fOnOutput = e; }
    void SetOnLog(const TCvEvent<TQvSimLogParams>& e) { fOnLog = e; }
    // The beacon closes its device (fault injection); the host must close it.
    void SetOnClose(const TCvEvent<TQvSimBeaconParams>& e) { fOnClose = e; }

    // The state as a SYS_INFO reply would show it now (uptime included).
    TQvSimState State() const;
    const TQvSimConfig& Config() const { return fConfig; }
    uint32_t Uptime() const;
    bool Rebooting() const { return fSilent && !fDead; }
    bool Dead() const { return fDead; }      // silent for good after an update (fault)
    bool Closed() const { return fClosed; }
    bool Programming() const { return fSession.Open; }
    // Bytes received so far in the open programming session.
    uint32_t Received() const { return static_cast<uint32_t>(fSession.Image.size()); }
    // The application image of the last successful update.
    const std::vector<uint8_t>& Image() const { return fImage; }
    uint32_t CommandCount() const { return fCommands; }
    uint32_t ReplyCount() const { return fReplies; }
    TQvSimLink& Link() { return fLink; }

    // Writes the state to the configured state file; true when none is configured.
    bool SaveState(std::string& error) const;

private:
    struct TSession {
        bool Open = false;
        uint32_t Length = 0;
        uint32_t Checksum = 0;
        std::vector<uint8_t> Image;
    };

    void OnDeliver(TQvSimLinkDataParams& p);
    void OnLinkOutput(TQvSimLinkDataParams& p);
    void OnDrained(TQvSimLinkParams& p);
    void OnRebootTimer(TCvTimerParams& p);

    void HandleLine(const TQvSimLineResult& line);
    void Execute(const std::vector<uint8_t>& cmd);
    void Reply(const std::vector<uint8_t>& bytes);
    void ReplyStatus(uint8_t id, uint8_t status);
    void ReplyEngineering(uint8_t status, uint8_t action);

    void DoSysInfo();
    void DoConfigGet();
    void DoEngineering(const std::vector<uint8_t>& cmd);
    void DoProgInit(const std::vector<uint8_t>& cmd);
    void DoProgBlock(const std::vector<uint8_t>& cmd);
    void DoProgUpdate(const std::vector<uint8_t>& cmd);

    void FinishReboot();
    void CloseDevice(const std::string& why);
    void Changed();
    void Log(EQvSimLogKind kind, const std::string& text);
    uint64_t NowMs() const;

    TQvSimConfig fConfig;
    TQvSimState fState;
    TQvSimLink fLink;
    TQvSimLineReader fReader;
    TCvTimer fRebootTimer;
    TSession fSession;
    std::vector<uint8_t> fImage;

    uint64_t fBootMs = 0;      // timer-service time of the last boot
    bool fSilent = false;      // rebooting (or dead): input is dropped
    bool fRebootPending = false;
    bool fDead = false;
    bool fClosed = false;
    bool fPollActive = false;  // counting identification requests after an update
    uint32_t fPollCount = 0;
    uint32_t fCommands = 0;
    uint32_t fReplies = 0;
    std::array<uint32_t, 256> fCommandsOfKind{};
    std::array<uint32_t, 256> fRepliesOfKind{};

    TCvEvent<TQvSimOutputParams> fOnOutput;
    TCvEvent<TQvSimLogParams> fOnLog;
    TCvEvent<TQvSimBeaconParams> fOnClose;
};
