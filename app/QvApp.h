// The application core: owns the log and the notifier (program-wide), the station (the serial
// port, the command processor bound to it and the programming engine, logging to the
// program-wide log) and the program settings; applies the command line and the engineering
// setting; opens and closes the serial connection.
#pragma once

#include <memory>
#include <string>

class TCvAppLog;
class TCvAppNotifier;
class TQvCmdProc;
class TQvFlashProg;
class TQvSettings;
class TQvStation;
class TQvTracePort;
class TComPort;

class TQvApp {
public:
    // Builds everything in order: log, notifier, station (port, processor, engine), settings
    // (defaults, load), serial settings onto the port, command line, engineering mode.
    TQvApp();
    // Tears down in the reverse order; the log saves its file last.
    ~TQvApp();
    TQvApp(const TQvApp&) = delete;
    TQvApp& operator=(const TQvApp&) = delete;

    TQvStation* Station() const { return fStation.get(); }
    TQvCmdProc* CmdProc() const;
    TComPort* ComPort() const;
    TQvFlashProg* FlashProg() const;
    TQvSettings* Settings() const { return fSettings.get(); }

    // Opens the port with the current settings if it is not open yet; a failure is logged and
    // shown in the one error box. Returns whether the port is open afterwards.
    bool CommsConnect();
    // Closes the port if it is open.
    void CommsDisconnect();

    // The "MIN" switch was given: the main window starts minimised.
    bool StartMinimised() const { return fStartMinimised; }
    // The firmware package named by a bare argument (absolute path), for the desktop program
    // to select as if chosen with Browse; empty when none was given.
    const std::string& FirmwareFile() const { return fFirmwareFile; }
    // Turns the line trace (-TRACE) on or off.
    void SetTrace(bool value);

private:
    void ApplyCommandLine();

    std::unique_ptr<TCvAppLog> fLog;
    std::unique_ptr<TCvAppNotifier> fNotifier;
    std::unique_ptr<TQvStation> fStation;
    TQvTracePort* fTracePort = nullptr; // the station's port
    std::unique_ptr<TQvSettings> fSettings;
    bool fStartMinimised = false;
    std::string fFirmwareFile;
};

// The one application core, set by whoever creates it (the main window or a headless command).
extern TQvApp* AppCore;
