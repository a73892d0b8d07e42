// Runs over several beacons and result records, each run as a process against simulator
// processes on pseudo-terminals.
#include "app/QvCmdLine.h"

#include "tests/app/HeadlessFixture.h"
#include "tests/support/MiniJson.h"

#include <gtest/gtest.h>

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
    if (program)
        EXPECT_TRUE(std::regex_match(o["package_checksum"].Text, checksum)) << o["package_checksum"].Text;
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
