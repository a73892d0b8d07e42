// The parts of runs over several beacons that stand alone: the command line with several ports,
// the result record and its file, the live lines and the summary, the port watcher and the
// signal watch.
#include "app/QvCmdLine.h"
#include "app/QvGangDisplay.h"
#include "app/QvPortWatcher.h"
#include "app/QvResultRecord.h"
#include "app/QvResultsFile.h"
#include "app/QvSignalWatch.h"

#include "tests/framework/FwTestSupport.h"
#include "tests/support/MiniJson.h"

#include <QTest>

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <ctime>
#include <filesystem>

namespace {

bool Has(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

TQvWallTime At(int64_t ms)
{
    return TQvWallTime(std::chrono::milliseconds(ms));
}

// Sets TZ for a scope.
class TTimeZone {
public:
    explicit TTimeZone(const char* tz)
    {
        if (const char* old = std::getenv("TZ"))
            fOld = old, fHadOld = true;
        ::setenv("TZ", tz, 1);
        ::tzset();
    }
    ~TTimeZone()
    {
        if (fHadOld)
            ::setenv("TZ", fOld.c_str(), 1);
        else
            ::unsetenv("TZ");
        ::tzset();
    }

private:
    std::string fOld;
    bool fHadOld = false;
};

TQvCmdInfo Identity()
{
    TQvCmdInfo info;
    info.Hardware.PartNumber = 1520;
    info.Hardware.PartRevision = 3;
    info.Hardware.SerialNumber = 104857;
    info.App.Valid = true;
    info.App.Version.Major = 2;
    info.App.Version.Minor = 4;
    info.App.Version.Build = 0;
    info.App.Checksum = 0x1A2B3C4D;
    return info;
}

} // namespace

TEST(QvGangCmdLine, SeveralPortsWatchAndResults)
{
    struct Case {
        std::vector<std::string> args;
        std::vector<std::string> ports; // expected when there is no error
        const char* error;              // part of the error; empty: none
    };
    const std::vector<Case> cases = {
        {{"program", "a.fwx", "-PORT=/dev/pts/1,/dev/pts/2, /dev/pts/3"}, {"/dev/pts/1", "/dev/pts/2", "/dev/pts/3"}, ""},
        {{"info", "-PORT=/dev/pts/1", "/PORT:/dev/pts/2"}, {"/dev/pts/1", "/dev/pts/2"}, ""},
        {{"config", "b.ini", "-PORT=/dev/pts/1", "-PORT=/dev/pts/2,/dev/pts/3"}, {"/dev/pts/1", "/dev/pts/2", "/dev/pts/3"}, ""},
        {{"info", "-PORT=/dev/pts/1"}, {"/dev/pts/1"}, ""},
        {{"program", "a.fwx", "-PORT=/dev/pts/1,/dev/pts/1"}, {}, "The port \"/dev/pts/1\" is named twice."},
        {{"program", "a.fwx", "-PORT=/dev/pts/1", "-PORT= /dev/pts/1 "}, {}, "is named twice"},
        {{"program", "a.fwx", "-PORT=/dev/pts/1,,/dev/pts/2"}, {}, "names an empty port"},
        {{"program", "a.fwx", "-PORT="}, {}, "needs a value"},
        {{"inspect", "a.fwx", "-PORT=/dev/pts/1,/dev/pts/2"}, {}, "Several ports work with"},
        {{"info", "-WATCH=/dev/ttyUSB*"}, {}, "-WATCH works with the command \"program\" only."},
        {{"program", "a.fwx", "-WATCH=/dev/ttyUSB*", "-PORT=/dev/pts/1"}, {}, "cannot be used together"},
        {{"program", "a.fwx", "-RESULTS"}, {}, "needs a value"},
        {{"inspect", "a.fwx", "-RESULTS=r.jsonl"}, {}, "-RESULTS works with"},
    };
    for (const Case& c : cases) {
        const TQvHeadlessArgs a = QvParseHeadlessArgs(c.args);
        const std::string what = c.args.back();
        if (*c.error == '\0') {
            EXPECT_EQ(a.Error, "") << what;
            EXPECT_EQ(a.Ports, c.ports) << what;
            EXPECT_EQ(QvIsGangRun(a), c.ports.size() > 1) << what;
        } else {
            EXPECT_TRUE(Has(a.Error, c.error)) << what << ": " << a.Error;
        }
    }
    const TQvHeadlessArgs station =
        QvParseHeadlessArgs({"program", "a.fwx", "-WATCH=/dev/serial/by-id/*", "-RESULTS=/tmp/r.jsonl"});
    EXPECT_EQ(station.Error, "");
    EXPECT_EQ(station.Watch, "/dev/serial/by-id/*");
    EXPECT_EQ(station.Results, "/tmp/r.jsonl");
    EXPECT_TRUE(QvIsGangRun(station));
}

TEST(QvResultRecord, IsoTimesCarryTheirOffset)
{
    {
        TTimeZone tz("XYZ-02:30"); // POSIX sign: 2 h 30 east of UTC
        EXPECT_EQ(QvIsoTime(At(125)), "1970-01-01T02:30:00.125+02:30");
    }
    {
        TTimeZone tz("XYZ+05");
        EXPECT_EQ(QvIsoTime(At(1781182923125)), "2026-06-11T08:02:03.125-05:00");
        EXPECT_EQ(QvIsoTime(At(-1)), "1969-12-31T18:59:59.999-05:00");
    }
    TTimeZone tz("UTC0");
    EXPECT_EQ(QvIsoTime(At(0)), "1970-01-01T00:00:00.000+00:00");
}

TEST(QvResultRecord, JsonHasEveryFieldInItsOrder)
{
    TTimeZone tz("UTC0");
    TQvResultRecord r;
    r.Port = "/dev/serial/by-id/usb-\"odd\"\\name";
    r.Operation = "program";
    r.Ok = true;
    r.Started = At(1781182923000);
    r.Finished = At(1781182929500);
    r.Package = "/srv/fw/app 2.5.fwx";
    r.PackageChecksum = 0xDEADBEEF;
    r.Bytes = 65536;
    r.Identity = Identity();
    const std::string json = QvResultRecordJson(r);
    EXPECT_EQ(json.find('\n'), std::string::npos);

    TMiniJsonObject o;
    std::string error;
    ASSERT_TRUE(TMiniJson::ParseObject(json, o, error)) << error << "\n" << json;
    const std::vector<std::string> names = {"port", "operation", "result", "error", "started", "finished", "seconds",
                                            "package", "package_checksum", "bytes", "bytes_per_second",
                                            "serial_number", "part_number", "revision", "app_version", "app_valid",
                                            "app_checksum"};
    EXPECT_EQ(o.size(), names.size());
    size_t at = 0;
    for (const std::string& name : names) {
        const size_t pos = json.find("\"" + name + "\":");
        ASSERT_NE(pos, std::string::npos) << name;
        EXPECT_GT(pos + 1, at) << name << " out of order";
        at = pos;
    }
    EXPECT_EQ(o["port"].Text, r.Port);
    EXPECT_EQ(o["operation"].Text, "program");
    EXPECT_EQ(o["result"].Text, "ok");
    EXPECT_EQ(o["error"].Kind, TMiniJsonValue::NUL);
    EXPECT_EQ(o["started"].Text, "2026-06-11T13:02:03.000+00:00");
    EXPECT_EQ(o["finished"].Text, "2026-06-11T13:02:09.500+00:00");
    EXPECT_EQ(o["seconds"].Kind, TMiniJsonValue::NUMBER);
    EXPECT_DOUBLE_EQ(o["seconds"].Number, 6.5);
    EXPECT_EQ(o["package"].Text, "/srv/fw/app 2.5.fwx");
    EXPECT_EQ(o["package_checksum"].Text, "0xdeadbeef");
    EXPECT_EQ(o["bytes"].Text, "65536");
    EXPECT_EQ(o["bytes_per_second"].Text, "10082"); // 65536 / 6.5, rounded
    EXPECT_EQ(o["serial_number"].Text, "104857");
    EXPECT_EQ(o["part_number"].Text, "1520");
    EXPECT_EQ(o["revision"].Text, "3");
    EXPECT_EQ(o["app_version"].Text, "v2.4.0");
    EXPECT_EQ(o["app_valid"].Text, "true");
    EXPECT_EQ(o["app_checksum"].Text, "0x1a2b3c4d");

    // A failed information run of a beacon that never answered: no package, no identity.
    TQvResultRecord failed;
    failed.Port = "/dev/ttyUSB0";
    failed.Operation = "info";
    failed.Error = "Device did not respond.\tTab\x01";
    failed.Started = failed.Finished = At(1781182923000);
    ASSERT_TRUE(TMiniJson::ParseObject(QvResultRecordJson(failed), o, error)) << error;
    EXPECT_EQ(o.size(), names.size());
    EXPECT_EQ(o["result"].Text, "failed");
    EXPECT_EQ(o["error"].Text, failed.Error);
    for (const char* name : {"package", "package_checksum", "bytes", "bytes_per_second", "serial_number",
                             "part_number", "revision", "app_version", "app_valid", "app_checksum"})
        EXPECT_EQ(o[name].Kind, TMiniJsonValue::NUL) << name;
    EXPECT_EQ(o["seconds"].Text, "0.000");
}

TEST(QvResultRecord, FileAppendsWholeLinesAndIsCreated)
{
    TFwTempDir dir;
    const std::string path = dir.File("records.jsonl");
    TQvResultRecord r;
    r.Port = "/dev/pts/9";
    r.Operation = "config";
    r.Ok = true;
    {
        TQvResultsFile file(path);
        std::string error;
        ASSERT_TRUE(file.Append(r, error)) << error;
        r.Ok = false;
        r.Error = "Aborted.";
        ASSERT_TRUE(file.Append(r, error)) << error;
    }
    {
        TQvResultsFile again(path); // a later run appends
        std::string error;
        ASSERT_TRUE(again.Append(r, error)) << error;
    }
    const std::string text = FwReadFile(path);
    ASSERT_FALSE(text.empty());
    EXPECT_EQ(text.back(), '\n');
    size_t lines = 0;
    size_t start = 0;
    while (start < text.size()) {
        const size_t end = text.find('\n', start);
        TMiniJsonObject o;
        std::string error;
        EXPECT_TRUE(TMiniJson::ParseObject(text.substr(start, end - start), o, error)) << error;
        EXPECT_EQ(o["result"].Text, lines == 0 ? "ok" : "failed");
        ++lines;
        start = end + 1;
    }
    EXPECT_EQ(lines, 3u);

    TQvResultsFile nowhere(dir.File("no-such-folder/records.jsonl"));
    std::string error;
    EXPECT_FALSE(nowhere.Append(r, error));
    EXPECT_TRUE(Has(error, "No such file")) << error;
}

TEST(QvGangDisplay, LiveLinesAndSummary)
{
    TQvGangRow running;
    running.Port = "/dev/pts/3";
    running.Progress.Percent = 45;
    running.Progress.Blocks = 256;
    running.Progress.Bytes = 30000;
    running.Progress.TotalBytes = 65536;
    running.Progress.ElapsedMs = 3000;
    TQvGangRow connecting;
    connecting.Port = "/dev/pts/10";
    connecting.SerialNumber = 4242;
    TQvGangRow ok = running;
    ok.SerialNumber = 104857;
    ok.Result = GANG_OK;
    ok.Seconds = 6.25;
    ok.Progress.TotalBytes = 65536;
    TQvGangRow failed = connecting;
    failed.Result = GANG_FAILED;
    failed.Seconds = 1.0;
    failed.Error = "Device did not respond.";
    TQvGangRow noPort;
    noPort.Port = "/dev/ttyQV9";
    noPort.Result = GANG_NO_PORT;
    noPort.Error = "The serial port '/dev/ttyQV9' is not available, and cannot be opened.";

    EXPECT_EQ(QvGangLiveLine(running, 11), "/dev/pts/3   SN -        45%  9.8 kB/s    0:04 left");
    EXPECT_EQ(QvGangLiveLine(connecting, 11), "/dev/pts/10  SN 004242  ...");
    EXPECT_EQ(QvGangLiveLine(ok, 11), "/dev/pts/3   SN 104857  ok in 6.2 s");
    EXPECT_EQ(QvGangLiveLine(failed, 11), "/dev/pts/10  SN 004242  failed in 1.0 s: Device did not respond.");

    EXPECT_EQ(QvGangSummaryText({ok, failed, noPort}, 7.04),
              "Port         Serial  Result   Time     Error\n"
              "/dev/pts/3   104857  ok       6.2 s\n"
              "/dev/pts/10  004242  failed   1.0 s    Device did not respond.\n"
              "/dev/ttyQV9  -       no port  0.0 s    The serial port '/dev/ttyQV9' is not available, and cannot be opened.\n"
              "3 beacons: 1 ok, 1 failed, 1 no port; 65536 bytes programmed; 7.0 s in all\n");
}

TEST(QvGangDisplay, TerminalRedrawsAndLogLines)
{
    TCvManualClock clock;
    TCvTimerServiceScope scope(&clock);
    std::string out;
    auto writer = [&out](const std::string& text) { out += text; };

    // Not a terminal: the log lines as they come, no cursor movement, then the summary.
    {
        TQvGangDisplay plain(false, 80, writer);
        const size_t row = plain.Add("/dev/pts/1");
        plain.LogLine("/dev/pts/1: Completed.");
        plain.Row(row).Result = GANG_OK;
        plain.Changed(row);
        plain.Finish(1.0);
        EXPECT_FALSE(Has(out, "\033[")) << out;
        EXPECT_EQ(out.rfind("/dev/pts/1: Completed.\n\nPort", 0), 0u) << out;
    }

    out.clear();
    TQvGangDisplay live(true, 30, writer);
    const size_t a = live.Add("/dev/pts/1");
    const size_t b = live.Add("/dev/pts/2");
    live.LogLine("not shown on a terminal");
    clock.Advance(TQvGangDisplay::RedrawMs);
    EXPECT_FALSE(Has(out, "not shown")) << out;
    EXPECT_TRUE(Has(out, "/dev/pts/1  SN -       ...")) << out;
    // Progress waits for the next redraw; a result is drawn at once and leaves the live block.
    out.clear();
    live.Row(a).Progress.Blocks = 4;
    live.Row(a).Progress.Percent = 50;
    live.Changed(a);
    EXPECT_EQ(out, "");
    clock.Advance(TQvGangDisplay::RedrawMs);
    EXPECT_EQ(out, "\033[2A\r\033[K/dev/pts/1  SN -        50%\n\033[K/dev/pts/2  SN -       ...\n\033[J");
    out.clear();
    live.Row(b).Result = GANG_FAILED;
    live.Row(b).Error = "Device did not respond.";
    live.Changed(b);
    // Cut to one less than the terminal's width, so no line wraps.
    EXPECT_EQ(out, "\033[2A\r\033[K/dev/pts/2  SN -       failed\n\033[K/dev/pts/1  SN -        50%\n\033[J");
    out.clear();
    live.Row(a).Result = GANG_OK;
    live.Changed(a);
    EXPECT_EQ(out, "\033[1A\r\033[K/dev/pts/1  SN -       ok in \n\033[J");
    out.clear();
    live.Finish(2.0);
    EXPECT_TRUE(Has(out, "2 beacons: 1 ok, 1 failed; 2.0 s in all\n")) << out;
    EXPECT_EQ(clock.PendingCount(), 0u);
}

TEST(QvPortWatcher, AppearancesAndDepartures)
{
    TCvManualClock clock;
    TCvTimerServiceScope scope(&clock);
    TFwTempDir dir;
    namespace fs = std::filesystem;
    std::vector<std::string> events;
    TQvPortWatcher watcher(dir.File("beacon*"), 100);
    watcher.SetOnAppear(TQvPortWatchEvent::FromFunction([&](TQvPortWatchParams& p) { events.push_back("+" + p.Port); }));
    watcher.SetOnGone(TQvPortWatchEvent::FromFunction([&](TQvPortWatchParams& p) { events.push_back("-" + p.Port); }));

    fs::create_symlink("/dev/null", dir.File("beacon1"));
    fs::create_symlink(dir.File("no-such-device"), dir.File("beacon2")); // dangling: no port
    FwWriteFile(dir.File("beacon3"), "a plain file is no port");
    fs::create_symlink("/dev/zero", dir.File("other1"));                 // outside the pattern
    watcher.Start();
    EXPECT_EQ(events, (std::vector<std::string>{"+" + dir.File("beacon1")}));
    events.clear();
    clock.Advance(100);
    EXPECT_TRUE(events.empty()) << "a port that stays is one appearance";

    // The dangling link gets its device; the first link now leads to another device.
    fs::remove(dir.File("beacon2"));
    fs::create_symlink("/dev/zero", dir.File("beacon2"));
    fs::remove(dir.File("beacon1"));
    fs::create_symlink("/dev/zero", dir.File("beacon1"));
    clock.Advance(100);
    EXPECT_EQ(events, (std::vector<std::string>{"-" + dir.File("beacon1"), "+" + dir.File("beacon1"),
                                                "+" + dir.File("beacon2")}));
    events.clear();
    fs::remove(dir.File("beacon1"));
    clock.Advance(100);
    EXPECT_EQ(events, (std::vector<std::string>{"-" + dir.File("beacon1")}));
    EXPECT_EQ(watcher.Present(), (std::vector<std::string>{dir.File("beacon2")}));
    events.clear();
    watcher.Stop();
    fs::create_symlink("/dev/null", dir.File("beacon1"));
    clock.Advance(1000);
    EXPECT_TRUE(events.empty());
}

TEST(QvSignalWatch, SignalsArriveOnTheEventLoop)
{
    struct sigaction before {};
    ::sigaction(SIGTERM, nullptr, &before);
    std::vector<int> seen;
    {
        TQvSignalWatch watch;
        ASSERT_TRUE(watch.Active());
        watch.SetOnSignal(TCvEvent<TQvSignalParams>::FromFunction([&](TQvSignalParams& p) { seen.push_back(p.Signal); }));
        ::raise(SIGTERM);
        ::raise(SIGINT);
        EXPECT_TRUE(seen.empty()) << "nothing runs inside the handler";
        EXPECT_TRUE(QTest::qWaitFor([&] { return seen.size() == 2; }, 5000));
        EXPECT_EQ(seen, (std::vector<int>{SIGTERM, SIGINT}));
        TQvSignalWatch second;
        EXPECT_FALSE(second.Active()) << "one watch at a time";
    }
    struct sigaction after {};
    ::sigaction(SIGTERM, nullptr, &after);
    EXPECT_EQ(after.sa_handler, before.sa_handler);
}
