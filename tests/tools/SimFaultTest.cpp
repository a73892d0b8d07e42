// Every fault option of the simulator, set up through the command-line parser as the program
// takes it, and the parser's refusals of bad values.
#include "SimTestSupport.h"

#include "protocol/QvCmdDefs.h"

#include <functional>

namespace {
std::vector<uint8_t> Slice(const std::vector<uint8_t>& image, size_t from, size_t count)
{
    return {image.begin() + static_cast<std::ptrdiff_t>(from), image.begin() + static_cast<std::ptrdiff_t>(from + count)};
}
} // namespace

TEST(SimFaults, EachFaultOptionDoesWhatItSays)
{
    const std::vector<uint8_t> image = SimTestImage(768);
    struct TCase {
        const char* Name;
        std::vector<std::string> Args;
        std::function<void(TSimRig&)> Check;
    };
    const std::vector<TCase> cases = {
        {"drop the n-th command", {"--drop", "2"},
         [](TSimRig& rig) {
             EXPECT_NE(rig.Ask(SimInfoRequest()), "");
             EXPECT_EQ(rig.Ask(SimConfigRequest()), "");
             EXPECT_NE(rig.Ask(SimConfigRequest()), "");
             EXPECT_EQ(rig.Beacon->CommandCount(), 3u);
         }},
        {"drop the n-th of a kind, not acted on", {"--drop", "PROG_BLOCK:2"},
         [&image](TSimRig& rig) {
             rig.Ask(SimInitRequest(SimInitFor(image)));
             EXPECT_EQ(SimStatusOf(rig.Ask(SimBlockRequest(Slice(image, 0, 256)))), CST_OK);
             EXPECT_EQ(rig.Ask(SimBlockRequest(Slice(image, 256, 256))), "");
             EXPECT_EQ(rig.Beacon->Received(), 256u);
             EXPECT_EQ(SimStatusOf(rig.Ask(SimBlockRequest(Slice(image, 256, 256)))), CST_OK);
         }},
        {"answer with a status instead of acting", {"--status", "PROG_BLOCK:2=PROG_FLASH_ERROR"},
         [&image](TSimRig& rig) {
             rig.Ask(SimInitRequest(SimInitFor(image)));
             EXPECT_EQ(SimStatusOf(rig.Ask(SimBlockRequest(Slice(image, 0, 256)))), CST_OK);
             EXPECT_EQ(SimStatusOf(rig.Ask(SimBlockRequest(Slice(image, 256, 256)))), CST_PROG_FLASH_ERROR);
             EXPECT_EQ(rig.Beacon->Received(), 256u);
             EXPECT_EQ(SimStatusOf(rig.Ask(SimBlockRequest(Slice(image, 256, 256)))), CST_OK);
         }},
        {"status rule keeps the engineering action", {"--status", "SYS_ENGINEERING=0x33"},
         [](TSimRig& rig) {
             const auto eng = SimDecode<TQvCmdMsgRxSysEngineering>(rig.Ask(SimEngRequest(2)));
             EXPECT_EQ(eng.Status(), 0x33);
             EXPECT_EQ(eng.Action(), 2);
         }},
        {"corrupt the n-th reply", {"--corrupt", "2"},
         [](TSimRig& rig) {
             EXPECT_NE(rig.Ask(SimInfoRequest()), "");
             TQvCmdMsgRxSysInfo bad;
             EXPECT_EQ(bad.DecodeStr(rig.Ask(SimInfoRequest())), cdec_BAD_CSUM);
             rig.Info();
         }},
        {"noise between replies", {"--noise", "40", "--seed", "7"},
         [](TSimRig& rig) {
             rig.Out.clear();
             rig.Send(SimInfoRequest() + SimConfigRequest());
             const size_t first = rig.Out.find('$');
             EXPECT_EQ(first, 40u);
             const size_t second = rig.Out.find('$', first + 1);
             EXPECT_EQ(second, first + 85 + 40);
             EXPECT_EQ(rig.Out.size(), 2 * 40 + 85 + 241u);
             const std::vector<std::string> lines = rig.Lines();
             ASSERT_EQ(lines.size(), 2u);
             SimDecode<TQvCmdMsgRxSysInfo>(lines[0]);
             SimDecode<TQvCmdMsgRxConfigGet>(lines[1]);
         }},
        {"replies in chunks with pauses", {"--chunk", "20:5"},
         [](TSimRig& rig) {
             rig.Out.clear();
             rig.Send(SimInfoRequest()); // 85 characters: chunks of 20, 20, 20, 20, 5
             EXPECT_EQ(rig.Out.size(), 20u);
             rig.Clock.Advance(4);
             EXPECT_EQ(rig.Out.size(), 20u);
             rig.Clock.Advance(1);
             EXPECT_EQ(rig.Out.size(), 40u);
             rig.Clock.Advance(15);
             EXPECT_EQ(rig.Out.size(), 85u);
             SimDecode<TQvCmdMsgRxSysInfo>(rig.Lines().at(0));
         }},
        {"never comes back after the update", {"--no-return", "--reboot-ms", "100"},
         [&image](TSimRig& rig) {
             ASSERT_EQ(rig.Program(image), CST_OK);
             for (int i = 0; i < 30; ++i) {
                 rig.Clock.Advance(2000);
                 EXPECT_EQ(rig.Ask(SimInfoRequest()), "");
             }
             EXPECT_TRUE(rig.Beacon->Dead());
         }},
        {"answers only the n-th identification request after the update", {"--poll-answer", "3", "--reboot-ms", "1000"},
         [&image](TSimRig& rig) {
             ASSERT_EQ(rig.Program(image), CST_OK);
             rig.Clock.Advance(500);
             EXPECT_EQ(rig.Ask(SimInfoRequest()), ""); // 1st, while rebooting
             rig.Clock.Advance(1500);
             EXPECT_EQ(rig.Ask(SimInfoRequest()), ""); // 2nd, beacon up: held back
             EXPECT_NE(rig.Ask(SimConfigRequest()), "") << "other commands are answered";
             EXPECT_TRUE(rig.Info().App.Valid);        // 3rd
             EXPECT_NE(rig.Ask(SimInfoRequest()), "");
         }},
        {"closes the device in the middle of a transfer", {"--close-at", "PROG_BLOCK:2"},
         [&image](TSimRig& rig) {
             rig.Ask(SimInitRequest(SimInitFor(image)));
             rig.Ask(SimBlockRequest(Slice(image, 0, 256)));
             EXPECT_EQ(rig.Closes, 0);
             EXPECT_EQ(rig.Ask(SimBlockRequest(Slice(image, 256, 256))), "");
             EXPECT_EQ(rig.Closes, 1);
             EXPECT_TRUE(rig.Beacon->Closed());
             EXPECT_EQ(rig.Ask(SimInfoRequest()), "");
         }},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        auto rig = TSimRig::FromArgs(c.Args);
        c.Check(*rig);
    }
}

TEST(SimOptions, BadValuesAreRefusedWithTheOptionNamed)
{
    struct TCase {
        std::vector<std::string> Args;
        const char* Mention;
    };
    const std::vector<TCase> cases = {
        {{"--part", "70000"}, "--part"},
        {{"--serial", "12ab"}, "--serial"},
        {{"--app-checksum", "xyz"}, "AppChecksum"},
        {{"--app-version", "1.2"}, "AppVersion"},
        {{"--eui48", "01-02-03-04-05"}, "HardwareEUI48"},
        {{"--usbl-baseline", "40=1,2,3,4"}, "--usbl-baseline"},
        {{"--usbl-baseline", "10=1,2,3"}, "UsblCalBaseline10"},
        {{"--flash-size", "0"}, "FlashSize"},
        {{"--baud", "10"}, "--baud"},
        {{"--drop", "0"}, "selector"},
        {{"--drop", "PROG_FOO:1"}, "selector"},
        {{"--status", "SYS_INFO=FAIL"}, "no status byte"},
        {{"--status", "PROG_BLOCK:1=NOT_A_STATUS"}, "bad status"},
        {{"--status", "PROG_BLOCK:1"}, "SELECTOR=STATUS"},
        {{"--chunk", "0"}, "--chunk"},
        {{"--poll-answer", "0"}, "--poll-answer"},
        {{"--set", "NoSuchKey=1"}, "NoSuchKey"},
        {{"--reboot-ms"}, "needs a value"},
        {{"--verbose=1"}, "takes no value"},
        {{"--frobnicate"}, "unknown option"},
        {{"stray"}, "unexpected argument"},
        {{"--device", "/dev/ttyS0", "--link", "/tmp/x"}, "--link"},
    };
    for (const TCase& c : cases) {
        TQvSimOptions options;
        std::string error;
        EXPECT_FALSE(TQvSimOptions::Parse(c.Args, options, error)) << c.Args[0];
        EXPECT_NE(error.find(c.Mention), std::string::npos) << c.Args[0] << ": " << error;
    }
}

TEST(SimOptions, StateOptionsSetTheirFields)
{
    auto rig = TSimRig::FromArgs({"--part", "0x0929", "--revision", "7", "--serial", "654321", "--flags-sys", "0x1234",
                                  "--flags-user", "171", "--boot-version", "1.9.77", "--app-checksum", "DEADBEEF",
                                  "--uptime", "3600", "--set", "BootPartNumber=3001", "--eui48", "aa:bb:cc:dd:ee:ff",
                                  "--usbl-baseline", "21=1.5,-2,0.25,8", "--pressure-type", "aux", "--pressure-date",
                                  "2024-13-00"});
    const TQvCmdInfo info = rig->Info();
    EXPECT_EQ(+info.Hardware.PartNumber, 2345);
    EXPECT_EQ(+info.Hardware.PartRevision, 7);
    EXPECT_EQ(+info.Hardware.SerialNumber, 654321u);
    EXPECT_EQ(+info.Hardware.FlagsSys, 0x1234);
    EXPECT_EQ(+info.Hardware.FlagsUser, 171);
    EXPECT_EQ(+info.Boot.Version.Build, 77);
    EXPECT_EQ(+info.Boot.PartNumber, 3001);
    EXPECT_EQ(+info.App.Checksum, 0xDEADBEEFu);
    EXPECT_EQ(+info.Uptime, 3600u);
    const TQvSimState s = rig->Beacon->State();
    EXPECT_EQ(s.Eui48, 0xAABBCCDDEEFFull);
    // Baseline 21 is the third: A, B, C, D given, stored D, C, B, A.
    EXPECT_EQ(s.Usbl.Baseline[8], 8.0f);
    EXPECT_EQ(s.Usbl.Baseline[9], 0.25f);
    EXPECT_EQ(s.Usbl.Baseline[10], -2.0f);
    EXPECT_EQ(s.Usbl.Baseline[11], 1.5f);
    EXPECT_EQ(s.Pressure.CalType, 3);
    EXPECT_EQ(s.Pressure.CalMonth, 13); // sent unchecked, for the program's clamping
    EXPECT_EQ(s.Pressure.CalDay, 0);
}
