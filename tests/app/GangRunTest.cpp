// Runs over several beacons and result records, each run as a process against simulator
// processes on pseudo-terminals.
#include "app/QvCmdLine.h"

#include "tests/app/HeadlessFixture.h"
#include "tests/support/MiniJson.h"

#include <QElapsedTimer>
#include <QTest>

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <regex>
#include <sstream>

namespace {

class QvGangRunTest : public QvHeadlessFixture {
protected:
    // Every line of the records file, parsed; a line that is not one JSON object fails the test.
    std::vector<TMiniJsonObject> Records(const std::string& path)
    {
        std::vector<TMiniJsonObject> records;
        std::istringstream in(FwReadFile(path));
        std::string line;
        while (std::getline(in, line)) {
            TMiniJsonObject o;
            std::string error;
            EXPECT_TRUE(TMiniJson::ParseObject(line, o, error)) << error << "\n" << line;
            records.push_back(o);
        }
        return records;
    }
};

// Every field of a record, with its kind and form.
void ExpectRecordShape(TMiniJsonObject& o, const std::string& operation)
{
    static const std::regex iso(R"(\d{4}-\d{2}-\d{2}T\d{2}:\d{2}:\d{2}\.\d{3}[+-]\d{2}:\d{2})");
    static const std::regex checksum("0x[0-9a-f]{8}");
    static const std::regex version(R"(v\d+\.\d+\.\d+)");
    EXPECT_EQ(o.size(), 17u);
    EXPECT_EQ(o["operation"].Text, operation);
    EXPECT_TRUE(o["result"].Text == "ok" || o["result"].Text == "failed") << o["result"].Text;
    EXPECT_EQ(o["error"].Kind, o["result"].Text == "ok" ? TMiniJsonValue::NUL : TMiniJsonValue::STRING);
    EXPECT_TRUE(std::regex_match(o["started"].Text, iso)) << o["started"].Text;
    EXPECT_TRUE(std::regex_match(o["finished"].Text, iso)) << o["finished"].Text;
    EXPECT_LE(o["started"].Text, o["finished"].Text);
    EXPECT_EQ(o["seconds"].Kind, TMiniJsonValue::NUMBER);
    const bool program = operation == "program";
    const auto expected = program ? TMiniJsonValue::STRING : TMiniJsonValue::NUL;
    EXPECT_EQ(o["package"].Kind, expected);
    EXPECT_EQ(o["package_checksum"].Kind, expected);
    EXPECT_EQ(o["bytes"].Kind, program ? TMiniJsonValue::NUMBER : TMiniJsonValue::NUL);
    EXPECT_EQ(o["bytes_per_second"].Kind, program ? TMiniJsonValue::NUMBER : TMiniJsonValue::NUL);
    if (program) {
        EXPECT_TRUE(std::regex_match(o["package_checksum"].Text, checksum)) << o["package_checksum"].Text;
    }
    for (const char* name : {"serial_number", "part_number", "revision"})
        EXPECT_EQ(o[name].Kind, TMiniJsonValue::NUMBER) << name;
    EXPECT_TRUE(std::regex_match(o["app_version"].Text, version)) << o["app_version"].Text;
    EXPECT_EQ(o["app_valid"].Kind, TMiniJsonValue::BOOL);
    EXPECT_TRUE(std::regex_match(o["app_checksum"].Text, checksum)) << o["app_checksum"].Text;
}

} // namespace

TEST_F(QvGangRunTest, SingleRunRecordsNameTheBeaconEvenWhenItFails)
{
    const std::string fwx = Pack(3000);
    const std::string results = fDir.File("records.jsonl");
    const std::string good = Sim({"--serial", "4242"});
    // A records file that cannot be written stops the run before any beacon is touched.
    TQvRunResult r = Run({"program", fwx, "-PORT=" + good, "-RESULTS=" + fDir.File("no-folder/r.jsonl")});
    EXPECT_EQ(r.ExitCode, QV_EXIT_USAGE);
    EXPECT_TRUE(QvHas(r.Out, "cannot be written: No such file or directory")) << r.Out;
    EXPECT_FALSE(QvHas(r.Out, "Opening serial port")) << r.Out;
    r = Run({"program", fwx, "-PORT=" + good, "-RESULTS=" + results});
    EXPECT_EQ(r.ExitCode, 0) << r.Out << r.Err;
    // Records ask the beacon who it is before programming.
    EXPECT_LT(r.Out.find("Hardware Serial Number = 004242"), r.Out.find("Programming firmware from file"));
    const std::string bad = ExtraSim({"--serial", "777", "--drop", "PROG_BLOCK:3"});
    r = Run({"program", fwx, "-PORT=" + bad, "-RESULTS=" + results});
    EXPECT_EQ(r.ExitCode, QV_EXIT_BEACON) << r.Out;
    r = Run({"info", "-PORT=" + bad, "-RESULTS=" + results});
    EXPECT_EQ(r.ExitCode, 0) << r.Out;

    std::vector<TMiniJsonObject> records = Records(results);
    ASSERT_EQ(records.size(), 3u);
    TMiniJsonObject& ok = records[0];
    ExpectRecordShape(ok, "program");
    EXPECT_EQ(ok["port"].Text, good);
    EXPECT_EQ(ok["result"].Text, "ok");
    EXPECT_EQ(ok["package"].Text, fwx);
    EXPECT_EQ(ok["bytes"].Text, "3000");
    EXPECT_GT(ok["bytes_per_second"].Number, 0);
    EXPECT_EQ(ok["serial_number"].Text, "4242");
    EXPECT_EQ(ok["part_number"].Text, "1520");
    EXPECT_EQ(ok["revision"].Text, "3");
    EXPECT_EQ(ok["app_valid"].Text, "true");
    EXPECT_EQ(ok["app_checksum"].Text, ok["package_checksum"].Text) << "the identity after the update";

    TMiniJsonObject& failed = records[1];
    ExpectRecordShape(failed, "program");
    EXPECT_EQ(failed["port"].Text, bad);
    EXPECT_EQ(failed["result"].Text, "failed");
    EXPECT_EQ(failed["error"].Text, "Timed out waiting for device to reply.");
    EXPECT_EQ(failed["bytes"].Text, "512") << "two blocks acknowledged";
    EXPECT_EQ(failed["serial_number"].Text, "777");
    EXPECT_EQ(failed["app_version"].Text, "v2.4.0");

    TMiniJsonObject& info = records[2];
    ExpectRecordShape(info, "info");
    EXPECT_EQ(info["result"].Text, "ok");
    EXPECT_EQ(info["serial_number"].Text, "777");
}

namespace {

// The lines of `out` that belong to `port` ("[port] text"), the prefix taken off; with no port,
// the lines of a single run as they stand. The port's name, uptimes and times become fixed
// words, so runs on different simulators compare line for line.
std::vector<std::string> BeaconLines(const std::string& out, const std::string& port, const std::string& prefix)
{
    static const std::regex uptime(R"(^Uptime = \d+ seconds$)");
    std::vector<std::string> lines;
    std::istringstream in(out);
    for (std::string line; std::getline(in, line);) {
        if (!prefix.empty()) {
            if (line.rfind(prefix, 0) != 0)
                continue;
            line = line.substr(prefix.size());
        }
        for (size_t at = line.find(port); at != std::string::npos; at = line.find(port))
            line.replace(at, port.size(), "PORT");
        if (std::regex_match(line, uptime))
            line = "Uptime = N seconds";
        lines.push_back(line);
    }
    return lines;
}

} // namespace

TEST_F(QvGangRunTest, GangOfFourWithOneFaultyBeacon)
{
    const std::string fwx = Pack(3000);
    const std::string results = fDir.File("gang.jsonl");
    // One beacon on its own first: the lines every beacon of the gang must log as well.
    const std::string alone = Sim();
    const TQvRunResult single = Run({"program", fwx, "-PORT=" + alone, "-RESULTS=" + fDir.File("single.jsonl")});
    ASSERT_EQ(single.ExitCode, 0) << single.Out;
    const std::vector<std::string> expected = BeaconLines(single.Out, alone, "");

    std::vector<std::string> ports;
    for (int i = 0; i < 3; ++i)
        ports.push_back(ExtraSim());
    const std::string faulty = ExtraSim({"--drop", "PROG_BLOCK:5"});
    ports.insert(ports.begin() + 1, faulty);
    const TQvRunResult r = Run({"program", fwx, "-PORT=" + ports[0] + "," + ports[1], "-PORT=" + ports[2] + "," + ports[3],
                                "-RESULTS=" + results});
    EXPECT_EQ(r.ExitCode, QV_EXIT_BEACON) << r.Out << r.Err;
    for (const std::string& port : ports) {
        if (port == faulty)
            continue;
        EXPECT_EQ(BeaconLines(r.Out, port, "[" + port + "] "), expected) << port << "\n" << r.Out;
    }
    const std::vector<std::string> bad = BeaconLines(r.Out, faulty, "[" + faulty + "] ");
    ASSERT_GE(bad.size(), 3u);
    EXPECT_EQ(bad[bad.size() - 4], "Timed out waiting for device to reply.") << r.Out;
    EXPECT_EQ(bad[bad.size() - 3], "Aborted.");
    EXPECT_EQ(bad.back(), "Closed serial port 'PORT'.");

    // The summary: a row per beacon and the totals.
    const size_t summary = r.Out.find("\nPort ");
    ASSERT_NE(summary, std::string::npos) << r.Out;
    const std::string table = r.Out.substr(summary);
    for (const std::string& port : ports)
        EXPECT_TRUE(std::regex_search(table, std::regex(port + " +104857  " + (port == faulty ? "failed" : "ok  "))))
            << table;
    EXPECT_TRUE(QvHas(table, "Timed out waiting for device to reply.")) << table;
    EXPECT_TRUE(QvHas(table, "4 beacons: 3 ok, 1 failed; 9000 bytes programmed;")) << table;

    // Every engine line of the log file names its port.
    const std::string log = FwReadFile(fDir.File("quorvan-programmer.log"));
    const size_t gangStart = log.rfind("starting (v");
    ASSERT_NE(gangStart, std::string::npos);
    std::istringstream in(log.substr(gangStart));
    int named = 0;
    for (std::string line; std::getline(in, line);) {
        if (QvHas(line, "Programming firmware") || QvHas(line, "Device transfering") || QvHas(line, "Completed.")) {
            EXPECT_TRUE(QvHas(line, ",\"[/dev/")) << line;
            ++named;
        }
    }
    // Three beacons start, send 12 blocks and complete; the faulty one starts and sends 5.
    EXPECT_EQ(named, 3 * (1 + 12 + 1) + 1 + 5);

    // A record per beacon, in the order they ended.
    std::vector<TMiniJsonObject> records = Records(results);
    ASSERT_EQ(records.size(), 4u);
    int ok = 0;
    for (TMiniJsonObject& record : records) {
        ExpectRecordShape(record, "program");
        const bool isFaulty = record["port"].Text == faulty;
        EXPECT_EQ(record["result"].Text, isFaulty ? "failed" : "ok") << record["port"].Text;
        ok += record["result"].Text == "ok";
    }
    EXPECT_EQ(ok, 3);
}

TEST_F(QvGangRunTest, GangPortsThatCannotOpenAndOtherCommands)
{
    const std::string a = Sim({"--serial", "11"});
    const std::string b = ExtraSim({"--serial", "22"});
    // A missing port: the others still run, and the status says the port was missing.
    TQvRunResult r = Run({"info", "-PORT=" + a + ",/dev/ttyQV-missing," + b, "-TRACE"});
    EXPECT_EQ(r.ExitCode, QV_EXIT_PORT) << r.Out;
    EXPECT_TRUE(QvHas(r.Err, "[" + b + "] -> #0281C1")) << "the trace names the port too\n" << r.Err;
    EXPECT_TRUE(QvHas(r.Out, "[/dev/ttyQV-missing] The serial port '/dev/ttyQV-missing' is not available")) << r.Out;
    EXPECT_TRUE(QvHas(r.Out, "[" + a + "] Hardware Serial Number = 000011")) << r.Out;
    EXPECT_TRUE(QvHas(r.Out, "[" + b + "] Hardware Serial Number = 000022")) << r.Out;
    EXPECT_TRUE(QvHas(r.Out, "3 beacons: 2 ok, 1 no port;")) << r.Out;

    // A port that goes away half-way: that beacon fails for its port, the other completes.
    TQvSimProcess leaving;
    const std::string gone = leaving.Start({"--close-at", "CONFIG_GET"});
    ASSERT_FALSE(gone.empty());
    r = Run({"info", "-PORT=" + a + "," + gone});
    EXPECT_EQ(r.ExitCode, QV_EXIT_PORT) << r.Out;
    EXPECT_TRUE(QvHas(r.Out, "2 beacons: 1 ok, 1 failed;")) << r.Out;
    TQvSimProcess leavingAlone;
    const std::string goneAlone = leavingAlone.Start({"--close-at", "CONFIG_GET"});
    ASSERT_FALSE(goneAlone.empty());
    r = Run({"info", "-PORT=" + goneAlone});
    EXPECT_EQ(r.ExitCode, QV_EXIT_PORT) << "a single run too\n" << r.Out;

    // Configuration of both, then a port named twice.
    FwWriteFile(fDir.File("quorvan-programmer.ini"), "[Engineering]\nKey=SEAFLOOR\n");
    const std::string cfg = fDir.File("beacon.ini");
    FwWriteFile(cfg, "[Hardware]\nLoad=1\nPartNumber=1520\nPartRevision=3\nSerialNumber=777\nFlagsSys=0\nFlagsUser=5\n");
    r = Run({"config", cfg, "-PORT=" + a, "-PORT=" + b});
    EXPECT_EQ(r.ExitCode, 0) << r.Out;
    EXPECT_TRUE(QvHas(r.Out, "[" + a + "] Hardware Serial Number = 000777")) << r.Out;
    EXPECT_TRUE(QvHas(r.Out, "[" + b + "] Hardware Serial Number = 000777")) << r.Out;
    r = Run({"info", "-PORT=" + a + "," + b, "-PORT=" + a});
    EXPECT_EQ(r.ExitCode, QV_EXIT_USAGE);
    EXPECT_TRUE(QvHas(r.Err, "The port \"" + a + "\" is named twice.")) << r.Err;
}

namespace {

// The program running as a production station: its output read as it comes.
class TStation {
public:
    explicit TStation(const std::string& exe, const std::vector<std::string>& args)
    {
        QvCloseOnExecAll();
        fProc.start(QString::fromStdString(exe), QvArgs(args));
        fProc.waitForStarted(10000);
    }
    ~TStation()
    {
        if (fProc.state() != QProcess::NotRunning) {
            fProc.kill();
            fProc.waitForFinished(5000);
        }
    }
    // Waits until the output holds `text` `count` times; false after `ms`.
    bool WaitFor(const std::string& text, int count = 1, int ms = 20000)
    {
        QElapsedTimer timer;
        timer.start();
        while (Count(text) < count) {
            if (timer.elapsed() > ms || fProc.state() == QProcess::NotRunning)
                return false;
            fProc.waitForReadyRead(100);
            fOut += fProc.readAllStandardOutput().toStdString();
        }
        return true;
    }
    int Count(const std::string& text) const
    {
        int n = 0;
        for (size_t at = fOut.find(text); at != std::string::npos; at = fOut.find(text, at + 1))
            ++n;
        return n;
    }
    // Sends the signal and returns the exit status (-1 when it did not end by itself).
    int Stop(int sig)
    {
        ::kill(static_cast<pid_t>(fProc.processId()), sig);
        if (!fProc.waitForFinished(20000) || fProc.exitStatus() != QProcess::NormalExit)
            return -1;
        fOut += fProc.readAllStandardOutput().toStdString();
        return fProc.exitCode();
    }
    const std::string& Out() const { return fOut; }

private:
    QProcess fProc;
    std::string fOut;
};

} // namespace

TEST_F(QvGangRunTest, StationProgramsEachAppearanceOnce)
{
    namespace fs = std::filesystem;
    const std::string fwx = Pack(3000);
    const std::string results = fDir.File("station.jsonl");
    const std::string watched = fDir.File("by-id");
    fs::create_directories(watched);
    const std::string a = Sim({"--serial", "1001"});
    const std::string b = ExtraSim({"--serial", "1002"});
    // A slow beacon, to be interrupted half-way.
    const std::string slow = ExtraSim({"--serial", "1003", "--baud", "9600"});
    const std::string linkA = watched + "/beacon-a";
    const std::string linkB = watched + "/beacon-b";
    const std::string linkSlow = watched + "/beacon-slow";
    fs::create_symlink(a, watched + "/other-a"); // outside the pattern

    TStation station(fExe, {"program", fwx, "-WATCH=" + watched + "/beacon-*", "-RESULTS=" + results});
    ASSERT_TRUE(station.WaitFor("Waiting for beacons")) << station.Out();
    fs::create_symlink(a, linkA);
    ASSERT_TRUE(station.WaitFor("[" + linkA + "] Completed.")) << station.Out();
    fs::create_symlink(b, linkB);
    ASSERT_TRUE(station.WaitFor("[" + linkB + "] Completed.")) << station.Out();
    // A port that stays is programmed once; one that goes away and comes back is a new beacon.
    fs::remove(linkA);
    ASSERT_TRUE(station.WaitFor("[" + linkA + "] Closed serial port")) << station.Out();
    QTest::qWait(600);
    EXPECT_EQ(station.Count("[" + linkA + "] Programming firmware"), 1);
    EXPECT_EQ(station.Count("[" + linkB + "] Programming firmware"), 1);
    fs::create_symlink(a, linkA);
    ASSERT_TRUE(station.WaitFor("[" + linkA + "] Completed.", 2)) << station.Out();

    fs::create_symlink(slow, linkSlow);
    ASSERT_TRUE(station.WaitFor("[" + linkSlow + "] Device transfering block 2 ")) << station.Out();
    EXPECT_EQ(station.Stop(SIGTERM), 0) << station.Out();
    EXPECT_EQ(station.Count("[" + linkSlow + "] Stopped."), 1) << station.Out();
    EXPECT_EQ(station.Count("Programming firmware"), 4);
    EXPECT_EQ(station.Count("Closed serial port"), 4) << "every port let go";
    EXPECT_TRUE(QvHas(station.Out(), "4 beacons: 3 ok, 1 stopped;")) << station.Out();

    std::vector<TMiniJsonObject> records = Records(results);
    ASSERT_EQ(records.size(), 4u);
    const std::vector<std::pair<std::string, std::string>> expected = {
        {linkA, "1001"}, {linkB, "1002"}, {linkA, "1001"}, {linkSlow, "1003"}};
    for (size_t i = 0; i < records.size(); ++i) {
        ExpectRecordShape(records[i], "program");
        EXPECT_EQ(records[i]["port"].Text, expected[i].first);
        EXPECT_EQ(records[i]["serial_number"].Text, expected[i].second);
        EXPECT_EQ(records[i]["result"].Text, i < 3 ? "ok" : "failed");
    }
    EXPECT_EQ(records[3]["error"].Text, "Stopped.");
}

TEST_F(QvGangRunTest, StationChecksThePackageFirstAndFailuresGiveStatus4)
{
    const std::string bad = fDir.File("broken.fwx");
    FwWriteFile(bad, "<Firmware><Config/></Firmware>");
    TQvRunResult r = Run({"program", bad, "-WATCH=" + fDir.File("none-*")});
    EXPECT_EQ(r.ExitCode, QV_EXIT_REJECTED) << r.Out;
    EXPECT_FALSE(QvHas(r.Out, "Waiting for beacons")) << r.Out;

    const std::string fwx = Pack(3000);
    const std::string refusing = Sim({"--status", "PROG_BLOCK:2=PROG_FLASH_ERROR"});
    std::filesystem::create_symlink(refusing, fDir.File("tty-1"));
    // A device that is no serial port: it appears, cannot be opened, and counts as failed.
    std::filesystem::create_symlink("/dev/null", fDir.File("tty-2"));
    TStation station(fExe, {"program", fwx, "-WATCH=" + fDir.File("tty-*")});
    ASSERT_TRUE(station.WaitFor("[" + fDir.File("tty-1") + "] Closed serial port")) << station.Out();
    ASSERT_TRUE(station.WaitFor("[" + fDir.File("tty-2") + "] The serial port")) << station.Out();
    EXPECT_EQ(station.Stop(SIGINT), QV_EXIT_BEACON) << station.Out();
    EXPECT_TRUE(QvHas(station.Out(), "Device block programming not possible due to a Flash memory error.")) << station.Out();
    EXPECT_TRUE(QvHas(station.Out(), "2 beacons: 1 failed, 1 no port;")) << station.Out();
}
