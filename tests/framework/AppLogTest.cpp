#include "framework/CvAppLog.h"
#include "framework/CvFiles.h"

#include "FwTestSupport.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace {
const uint64_t kMinute = 60000;

std::vector<std::string> SplitCrLf(const std::string& text)
{
    std::vector<std::string> lines;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find("\r\n", pos);
        EXPECT_NE(end, std::string::npos) << "every line ends with CR LF";
        if (end == std::string::npos)
            end = text.size();
        lines.push_back(text.substr(pos, end - pos));
        pos = end + 2;
    }
    return lines;
}

// A log in a temporary folder, at a pinned time, with simulated timers and a given command line.
class AppLogTest : public testing::Test {
protected:
    void TearDown() override
    {
        if (fLog)
            fLog->SetOnAdd(TCvAppLogAddEvent()); // the test's handlers capture its locals
        fLog.reset();
    }
    void SetArgs(const std::vector<std::string>& args) { fEnv.SetArgs(args); }
    TCvAppLog& Start()
    {
        fLog = std::make_unique<TCvAppLog>();
        return *fLog;
    }
    void Stop() { fLog.reset(); }
    std::string LogFile() const { return fDir.File("qvprog.log"); }
    // The file's lines after the header's empty line.
    std::vector<std::string> Body() const
    {
        std::vector<std::string> lines = SplitCrLf(FwReadFile(LogFile()));
        size_t i = 0;
        while (i < lines.size() && !lines[i].empty())
            ++i;
        return std::vector<std::string>(lines.begin() + static_cast<std::ptrdiff_t>(std::min(i + 1, lines.size())),
                                        lines.end());
    }
    std::string Stamp() const { return CvDateTimeText(fNow); }
    std::string Entry(int id, const std::string& tag, const std::string& msg) const
    {
        return std::to_string(id) + "," + Stamp() + "," + tag + ",\"" + msg + "\"";
    }
    std::string Starting() const
    {
        return "Application 'Quorvan Programmer' starting (v" + TCvApp::GetAppInfo().FileVersion + ").";
    }
    bool FileHolds(const std::string& text) const { return FwReadFile(LogFile()).find(text) != std::string::npos; }

    TFwAppEnv fEnv;
    TFwTempDir& fDir = fEnv.Dir;
    TCvManualClock& fClock = fEnv.Clock;
    TCvDateTime& fNow = fEnv.Now;
    std::unique_ptr<TCvAppLog> fLog;
};
} // namespace

TEST_F(AppLogTest, FirstAndSecondRunFiles)
{
    SetArgs({"/LOG=ON"});
    Start();
    fNow.Second = 6;
    Stop();
    const std::string version = TCvApp::GetAppInfo().FileVersion;
    const std::vector<std::string> first = SplitCrLf(FwReadFile(LogFile()));
    const std::string rule(80, '=');
    const std::vector<std::string> expected = {
        rule,
        "QUORVAN PROGRAMMER APPLICATION LOG",
        rule,
        "App Path        : " + fDir.Path(),
        "App Started     : 2026-03-14 09:30:05",
        "App Version     : v" + version,
        "App Cmd Line    : 2",
        "    Param[0] = \"" + fDir.File("qvprog") + "\"",
        "    Param[1] = \"/LOG=ON\"",
        "User Path       : " + fDir.Path(),
        "App Log Saved   : 2026-03-14 09:30:06",
        "App Log Entries : 4 (of max 2000)",
        rule,
        "",
        "1,2026-03-14 09:30:05.123,INFO,\"" + Starting() + "\"",
        "2,2026-03-14 09:30:05.123,INFO,\"Application command line param 1 = '/LOG=ON.'\"",
        "3,2026-03-14 09:30:05.123,INFO,\"Application log autosave enabled for 15 minute intervals.\"",
        "4,2026-03-14 09:30:06.123,INFO,\"Application closing down.\"",
    };
    EXPECT_EQ(first, expected);

    // Second run: the first run's lines, one empty line, then numbering goes on.
    SetArgs({});
    fNow.Hour = 10;
    TCvAppLog& log = Start();
    EXPECT_EQ(log.MsgLastId(), 6);
    Stop();
    const std::vector<std::string> body = Body();
    ASSERT_EQ(body.size(), 8u);
    EXPECT_EQ(std::vector<std::string>(body.begin(), body.begin() + 4),
              std::vector<std::string>(expected.end() - 4, expected.end()));
    EXPECT_EQ(body[4], "");
    EXPECT_EQ(body[5], Entry(5, "INFO", Starting()));
    EXPECT_EQ(body[6], Entry(6, "INFO", "Application log autosave enabled for 15 minute intervals."));
    EXPECT_EQ(body[7], Entry(7, "INFO", "Application closing down."));
    EXPECT_FALSE(CvFileExists(LogFile() + ".tmp")) << "saved through a renamed temporary file";
    EXPECT_EQ(FwFileCount(fDir.Path()), 2u) << "the log and the lock it is saved under, no temporary file";
    EXPECT_TRUE(CvFileExists(LogFile() + ".lock"));
}

TEST_F(AppLogTest, EntryLimitFromTheCommandLine)
{
    Start();
    Stop(); // three lines from a first run
    SetArgs({"-LOGENTRIES:5"});
    TCvAppLog& log = Start();
    ASSERT_EQ(log.Lines().size(), 5u);
    // Of the seven lines (three, the separator, three start-up entries) the newest five remain.
    EXPECT_EQ(log.Lines()[0], Entry(3, "INFO", "Application closing down."));
    EXPECT_EQ(log.Lines()[1], "");
    EXPECT_EQ(log.Lines()[4], Entry(6, "INFO", "Application log autosave enabled for 15 minute intervals."));
    EXPECT_EQ(Body(), std::vector<std::string>(log.Lines().begin(), log.Lines().end()));
    EXPECT_TRUE(FileHolds("App Log Entries : 5 (of max 5)\r\n"));
    Stop();

    struct TCase {
        const char* Value;
        int32_t Entries;
    };
    const TCase cases[] = {{"20000", 10000}, {"-3", 0}, {"abc", 2000}, {"0x10", 16}, {"", 2000}};
    for (const TCase& c : cases) {
        SetArgs({std::string("/logentries=") + c.Value});
        EXPECT_EQ(Start().Entries(), c.Entries) << c.Value;
        Stop();
    }
}

TEST_F(AppLogTest, AutoSaveSwitchAndTimerTicks)
{
    SetArgs({"/LOGAUTOSAVE=0"});
    TCvAppLog& off = Start();
    EXPECT_FALSE(off.AutoSave());
    EXPECT_EQ(off.AutoSaveInterval(), 1);
    EXPECT_EQ(fClock.NextDueIn(), -1) << "no timer runs";
    fClock.Advance(24 * 60 * kMinute);
    EXPECT_FALSE(FileHolds("autosave"));
    EXPECT_FALSE(FileHolds("Autosaving"));
    Stop();

    SetArgs({"/LOGAUTOSAVE=x"}); // not a number: the interval stays
    EXPECT_EQ(Start().AutoSaveInterval(), 15);
    Stop();

    SetArgs({"-LogAutoSave=2"});
    TCvAppLog& log = Start();
    EXPECT_TRUE(FileHolds("\"Application log autosave enabled for 2 minute intervals.\""));
    log.Add("pending one");
    fClock.Advance(2 * kMinute - 1);
    EXPECT_FALSE(FileHolds("pending one"));
    fClock.Advance(1);
    EXPECT_TRUE(FileHolds("pending one"));
    EXPECT_TRUE(FileHolds("\"Autosaving application log (at 2 minute intervals).\""));
    EXPECT_FALSE(log.Modified());

    // A tick resets the entry count: 60 entries before it and 60 after make no count save.
    for (int i = 0; i < 60; ++i)
        log.Add("before %d", i);
    fClock.Advance(2 * kMinute);
    for (int i = 0; i < 60; ++i)
        log.Add("after %d", i);
    EXPECT_TRUE(FileHolds("\"before 59\""));
    EXPECT_FALSE(FileHolds("\"after 59\""));
    EXPECT_EQ(fClock.NextDueIn(), static_cast<int64_t>(2 * kMinute)) << "the next tick a full interval later";
}

TEST_F(AppLogTest, DisabledLogStillSavesAtExit)
{
    SetArgs({"/log=off"});
    TCvAppLog& log = Start();
    EXPECT_FALSE(log.Enabled());
    for (int i = 0; i < 150; ++i)
        log.Add(logWarning, "entry %d", i);
    EXPECT_TRUE(log.Save());
    EXPECT_FALSE(CvFileExists(LogFile()));
    EXPECT_EQ(log.MsgLastId(), 153);
    Stop();
    const std::vector<std::string> body = Body();
    ASSERT_EQ(body.size(), 154u);
    EXPECT_EQ(body[1], Entry(2, "INFO", "Application command line param 1 = '/log=off.'"));
    EXPECT_EQ(body[152], Entry(153, "WARNING", "entry 149"));
    EXPECT_EQ(body[153], Entry(154, "INFO", "Application closing down."));
}

TEST_F(AppLogTest, HundredthEntrySavesBeforeTheSubscriberHears)
{
    TCvAppLog& log = Start();
    std::vector<int32_t> sawItself; // entries that found themselves in the file
    std::vector<TCvAppLogAddParams> heard;
    log.SetOnAdd(TCvAppLogAddEvent::FromFunction([&](TCvAppLogAddParams& p) {
        heard.push_back(p);
        if (FileHolds("\"" + p.Msg + "\""))
            sawItself.push_back(p.MsgId);
    }));
    for (int i = 1; i <= 200; ++i)
        log.Add("message %d", i);
    // Two start-up entries, then every hundredth entry after start-up.
    EXPECT_EQ(sawItself, (std::vector<int32_t>{102, 202}));
    ASSERT_EQ(heard.size(), 200u);
    EXPECT_EQ(heard[0].MsgId, 3);
    EXPECT_EQ(heard[0].MsgTypeStr, "INFO");
    EXPECT_DOUBLE_EQ(heard[0].Timestamp, CvDateTimeToSerial(fNow));

    // Lowering the count below what has been reached saves at once.
    for (int i = 0; i < 30; ++i)
        log.Add("tail %d", i);
    EXPECT_FALSE(FileHolds("\"tail 29\""));
    log.SetAutoSaveEntries(20);
    EXPECT_TRUE(FileHolds("\"tail 29\""));
}

TEST_F(AppLogTest, EntryTextsAndFormats)
{
    TCvAppLog& log = Start();
    TCvAppLogAddParams last;
    log.SetOnAdd(TCvAppLogAddEvent::FromFunction([&](TCvAppLogAddParams& p) { last = p; }));

    log.Add(logWarning, "Application \"X\" starting");
    EXPECT_EQ(last.Msg, "Application 'X' starting");
    EXPECT_EQ(last.MsgType, logWarning);
    EXPECT_EQ(log.Lines().back(), Entry(3, "WARNING", "Application 'X' starting"));

    struct TCase {
        std::string Got;
        std::string Expected;
    };
    log.Add(logError, "Block %d of %u: 0x%0.4X %s", 3, 7u, 0x1A, std::string("\"ok\", done"));
    const std::string formatted = last.Msg;
    log.Add("%d", std::string("not a number")); // a caller's mistake is logged, not thrown
    const std::string misfit = last.Msg;
    log.Add("bad \xC3( byte \xFF end");
    const std::string invalid = last.Msg;
    log.Add(static_cast<TCvAppLogMsgType>(9), "odd type");
    const std::string oddTag = last.MsgTypeStr;
    const TCase cases[] = {
        {formatted, "Block 3 of 7: 0x001A 'ok', done"},
        {misfit.substr(0, 4), "%d ["},
        {invalid, "bad ?( byte ? end"},
        {oddTag, "UNKNOWN"},
    };
    for (const TCase& c : cases)
        EXPECT_EQ(c.Got, c.Expected);
    EXPECT_EQ(log.Lines()[log.Lines().size() - 4], Entry(4, "ERROR", "Block 3 of 7: 0x001A 'ok', done"));

    // A line break makes one entry in memory and two lines once the file is read back.
    const size_t before = log.Lines().size();
    log.Add("first part\r\nsecond part");
    ASSERT_EQ(log.Lines().size(), before + 1);
    ASSERT_TRUE(log.Save());
    ASSERT_TRUE(log.Load());
    ASSERT_EQ(log.Lines().size(), before + 2);
    EXPECT_EQ(log.Lines()[before] + "\"", Entry(8, "INFO", "first part"));
    EXPECT_EQ(log.Lines()[before + 1], "second part\"");
    EXPECT_EQ(log.MsgLastId(), 0) << "the last line starts with no number";
}

TEST_F(AppLogTest, LoadEdgeCases)
{
    const std::string header = "header line\r\nno entries here\r\n";
    const char utf16[] = "\xFF\xFE" "h\0\r\0\n\0\r\0\n\0" "5\0,\0\xE4\0";
    struct TCase {
        std::string File;
        std::vector<std::string> Lines;
        int32_t LastId;
    };
    const TCase cases[] = {
        {header + "\r\n41,2026-01-01 00:00:00.000,INFO,\"x\"\r\n", {"41,2026-01-01 00:00:00.000,INFO,\"x\""}, 41},
        {header + "\r\n41,x\r\nnot an entry\r\n", {"41,x", "not an entry"}, 0},
        {header + "\r\n41,x\r\nx12,2026\r\n", {"41,x", "x12,2026"}, 0},
        {header + "\r\n  7,x  \r\n\r\n", {"7,x", ""}, 0},              // an empty last line holds no comma
        {header + "\r\n\t8,x\t\n", {"8,x"}, 8},                          // LF lines, blanks trimmed
        {"\xEF\xBB\xBF" "h\r\n\r\n12,x\r\n", {"12,x"}, 12},               // UTF-8 byte-order mark
        {std::string(utf16, sizeof(utf16) - 1), {"5,\xC3\xA4"}, 5},          // UTF-16 little-endian
        {header, {}, 0},                                                    // no empty line: no entries
    };
    TCvAppLog& log = Start();
    for (const TCase& c : cases) {
        FwWriteFile(LogFile(), c.File);
        EXPECT_TRUE(log.Load());
        EXPECT_EQ(std::vector<std::string>(log.Lines().begin(), log.Lines().end()), c.Lines) << c.File;
        EXPECT_EQ(log.MsgLastId(), c.LastId) << c.File;
    }
    std::remove(LogFile().c_str());
    EXPECT_FALSE(log.Load());
    EXPECT_TRUE(log.Lines().empty());
    EXPECT_EQ(log.MsgLastId(), 0);
    log.Add("numbering restarts");
    EXPECT_EQ(log.MsgLastId(), 1);
}

TEST_F(AppLogTest, FailedSaveKeepsEntriesAndStaysQuiet)
{
    TCvAppLog& log = Start();
    FwWriteFile(fDir.File("plain"), "x");
    log.SetFilename(fDir.File("plain") + "/qvprog.log"); // the parent is a file: never writable
    const size_t lines = log.Lines().size();
    log.Add("kept in memory");
    EXPECT_FALSE(log.Save());
    EXPECT_TRUE(log.Modified());
    EXPECT_EQ(log.Lines().size(), lines + 1) << "no entry about the failure";
    log.SetFilename(LogFile());
    EXPECT_TRUE(log.Save());
    EXPECT_TRUE(FileHolds("\"kept in memory\""));
}

TEST_F(AppLogTest, ExceptionEntries)
{
    TCvAppLog& log = Start();
    std::vector<std::string> msgs;
    log.SetOnAdd(TCvAppLogAddEvent::FromFunction([&](TCvAppLogAddParams& p) { msgs.push_back(p.MsgTypeStr + " " + p.Msg); }));
    try {
        try {
            throw std::runtime_error("inner cause");
        } catch (...) {
            std::throw_with_nested(std::runtime_error("outer failure"));
        }
    } catch (const std::exception& e) {
        log.AddException("Saving failed", e, true, true);
        log.AddException(logError, e, false);
    }
    log.AddException(std::logic_error("plain"));
    EXPECT_EQ(msgs, (std::vector<std::string>{
                        "WARNING Saving failed (Exception details follow...)",
                        "WARNING Exception (1 of 2): outer failure",
                        "WARNING Exception (2 of 2): inner cause",
                        "WARNING Exception Stack Trace: ",
                        "ERROR Exception: outer failure",
                        "WARNING Exception: plain",
                    }));
}
