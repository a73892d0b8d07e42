// The application log: the system's one reporting channel. Each entry becomes one numbered,
// time-stamped line kept in memory (up to a limit), handed to one subscriber and saved to a
// rolling log file that carries the previous runs' lines, a blank line between runs.
#pragma once

#include "framework/CvApp.h"
#include "framework/CvClock.h"
#include "framework/CvEvent.h"
#include "framework/CvFormat.h"
#include "framework/CvLogSink.h"
#include "framework/CvTimer.h"

#include <cstdint>
#include <deque>
#include <exception>
#include <string>

// What the subscriber hears of each new entry.
struct TCvAppLogAddParams {
    int32_t MsgId = 0;     // the entry number
    double Timestamp = 0;  // local time, days since 1899-12-30 (see CvDateTimeToSerial)
    TCvAppLogMsgType MsgType = logInfo;
    std::string MsgTypeStr; // "INFO", "WARNING", "ERROR"
    std::string Msg;        // the text as stored (double quotes made single)
};
using TCvAppLogAddEvent = TCvEvent<TCvAppLogAddParams>;

class TCvAppLog : public TCvLogSink {
public:
    static constexpr int32_t MaxEntries = 10000;

    // Builds the log: applies the LOG, LOGAUTOSAVE and LOGENTRIES switches, reads the previous
    // file back, writes the start-up entries and saves. The file is the executable's path with
    // ".log" (see TCvApp::GetAppFileName) unless `fileName` names another. Needs a current
    // timer service for the auto-save timer.
    explicit TCvAppLog(const std::string& fileName = "");
    // Writes "Application closing down." and saves, even when writing was switched off.
    ~TCvAppLog() override;
    TCvAppLog(const TCvAppLog&) = delete;
    TCvAppLog& operator=(const TCvAppLog&) = delete;

    void Add(const std::string& msg);
    void Add(TCvAppLogMsgType type, const std::string& msg) override;
    // Formatted through CvFormat ("%s", "%d", "%u", "%0.4X", ...). A format that does not fit
    // its arguments logs the format text itself with the formatter's complaint.
    template <typename... TArgs>
        requires(sizeof...(TArgs) > 0)
    void Add(const std::string& format, const TArgs&... args)
    {
        Add(logInfo, Format(format, args...));
    }
    template <typename... TArgs>
        requires(sizeof...(TArgs) > 0)
    void Add(TCvAppLogMsgType type, const std::string& format, const TArgs&... args)
    {
        Add(type, Format(format, args...));
    }

    // Entries for an exception (and, with `recurse`, its nested ones); warnings by default.
    void AddException(const std::exception& e, bool recurse = true, bool stack = false);
    void AddException(const std::string& msg, const std::exception& e, bool recurse = true, bool stack = false);
    void AddException(TCvAppLogMsgType type, const std::exception& e, bool recurse = true, bool stack = false);
    void AddException(TCvAppLogMsgType type, const std::string& msg, const std::exception& e, bool recurse = true,
                      bool stack = false);

    // Replaces the lines in memory with the file's body; false when it could not be read.
    bool Load();
    // Writes header and body (through a temporary file); true when written or when disabled.
    // Processes sharing the file lose no lines: under a lock beside the file ("<file>.lock"),
    // the lines not saved yet are added after those the file holds by now, and the lines in
    // memory become the file's.
    bool Save();

    bool AutoSave() const { return fAutoSave; }
    void SetAutoSave(bool value);
    int32_t AutoSaveInterval() const { return fAutoSaveInterval; } // minutes
    void SetAutoSaveInterval(int32_t value);
    int32_t AutoSaveEntries() const { return fAutoSaveEntries; }
    void SetAutoSaveEntries(int32_t value);
    bool Enabled() const { return fEnabled; }
    void SetEnabled(bool value);
    int32_t Entries() const { return fEntries; }
    void SetEntries(int32_t value);
    const std::string& Filename() const { return fFileName; }
    void SetFilename(const std::string& value) { fFileName = value; }
    const TCvAppLogAddEvent& OnAdd() const { return fOnAdd; }
    void SetOnAdd(const TCvAppLogAddEvent& handler) { fOnAdd = handler; }

    // The lines in memory, oldest first (entries and run separators).
    const std::deque<std::string>& Lines() const { return fLog; }
    int32_t MsgLastId() const { return fMsgLastId; }
    bool Modified() const { return fLogModified; }
    const TCvAppCmdLineParams& AppParams() const { return fAppParams; }

    static std::string MsgTypeStr(TCvAppLogMsgType type);

private:
    template <typename... TArgs>
    static std::string Format(const std::string& format, const TArgs&... args)
    {
        return CvLogFormat(format, args...);
    }
    void AddLine(const std::string& line);
    void TrimToEntries();
    void AutoSaveTimerTick(TCvTimerParams& params);
    std::string HeaderText(size_t entries) const;

    std::string fAppExePath;
    TCvAppInfo fAppInfo;
    TCvAppCmdLineParams fAppParams;
    TCvDateTime fAppStarted;
    std::string fAppTitle;
    std::string fAppUserPath;
    std::string fAppVersion;
    bool fAutoSave = false;
    int32_t fAutoSaveEntries = 0;
    int32_t fAutoSaveEntryCount = 0;
    int32_t fAutoSaveInterval = 15;
    TCvTimer fAutoSaveTimer;
    bool fEnabled = true;
    int32_t fEntries = 2000;
    std::string fFileName;
    std::deque<std::string> fLog;
    bool fLogModified = false;
    int32_t fMsgLastId = 0;
    TCvAppLogAddEvent fOnAdd;
    bool fLoading = false; // count-driven saves wait until a load has read the whole file
    size_t fPending = 0;   // the last lines of fLog, added since the last save
};

// The program-wide log; set by the application core right after creating it.
extern TCvAppLog* AppLog;
