// TQvStation: one beacon's station. A serial port, the command processor reading it and the
// programming engine driving it, wired together as one unit; a process may hold any number of
// stations side by side, each with its own timers (the engine's reply timer, the port's write
// deadline), all on the main thread.
//
//   TQvStation(std::unique_ptr<TComPort> port, TCvLogSink* log = nullptr)
//       Takes the port, gives it the line defaults, binds the processor to it and builds the
//       engine on both. Every entry of the station (engine, package reader, decode failures,
//       open and close) goes to `log`; nullptr means the program-wide log.
//   Port(), CmdProc(), FlashProg(), Log()
//   Connect(settings, failure) / Disconnect()
//       Open and close the port with the log lines of the desktop program.
//
// The station owns the port, processor and engine and frees them engine first; handlers on the
// processor and port undo their registrations, so nothing here depends on that order.
#pragma once

#include <memory>
#include <string>

class TComPort;
class TCvLogSink;
class TQvCmdProc;
class TQvFlashProg;
struct TCvComSettings;
struct TQvCmdProcDecodeParams;

// Why a Connect failed: the logged line, and the operating system's reason for an error box.
struct TQvStationFailure {
    std::string Text;
    std::string Detail;
};

class TQvStation {
public:
    explicit TQvStation(std::unique_ptr<TComPort> port, TCvLogSink* log = nullptr);
    // Closes the port when open (without log lines) and frees the engine, processor and port.
    ~TQvStation();
    TQvStation(const TQvStation&) = delete;
    TQvStation& operator=(const TQvStation&) = delete;

    TComPort* Port() const { return fPort.get(); }
    TQvCmdProc* CmdProc() const { return fCmdProc.get(); }
    TQvFlashProg* FlashProg() const { return fFlashProg.get(); }
    // The sink given at construction (nullptr: the program-wide log).
    TCvLogSink* Log() const { return fLog; }

    // Opens the port with `settings` (port name and line settings) unless it is open already:
    // logs "Opening serial port ..." and then the opened line or the not-available error (with
    // a second line naming the process that holds the port, when that is why), and drops any
    // partial received line. Returns whether the port is open afterwards; on failure
    // `failure` (when given) receives the logged line and the reason.
    bool Connect(const TCvComSettings& settings, TQvStationFailure* failure = nullptr);
    // Closes the port if it is open, with its log lines.
    void Disconnect();

private:
    void CmdProcDecode(TQvCmdProcDecodeParams& params);

    TCvLogSink* fLog;
    std::unique_ptr<TComPort> fPort;
    std::unique_ptr<TQvCmdProc> fCmdProc;
    std::unique_ptr<TQvFlashProg> fFlashProg;
};
