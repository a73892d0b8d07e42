// The state file: a round trip of every key, refusals that name the line, and the order in
// which defaults, the file and the options apply.
#include "tools/sim/QvSimOptions.h"
#include "tools/sim/QvSimState.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace {
class SimStateFile : public testing::Test {
protected:
    void SetUp() override
    {
        fDir = std::filesystem::temp_directory_path()
            / ("qv_sim_state_" + std::string(testing::UnitTest::GetInstance()->current_test_info()->name()));
        std::filesystem::remove_all(fDir);
        std::filesystem::create_directories(fDir);
    }
    void TearDown() override { std::filesystem::remove_all(fDir); }
    std::string Path(const char* name) const { return (fDir / name).string(); }
    void Write(const std::string& path, const std::string& text) const { std::ofstream(path, std::ios::binary) << text; }

    std::filesystem::path fDir;
};
} // namespace

TEST_F(SimStateFile, EveryKeySurvivesARoundTrip)
{
    TQvSimState s = TQvSimState::Defaults();
    std::string error;
    const std::vector<std::pair<const char*, const char*>> changes = {
        {"Uptime", "77"}, {"Section", "7"}, {"HardwarePartNumber", "65535"}, {"HardwarePartRevision", "255"},
        {"HardwareSerialNumber", "4294967295"}, {"HardwareFlagsSys", "0xBEEF"}, {"HardwareFlagsUser", "1"},
        {"BootValid", "0"}, {"BootPartNumber", "9"}, {"BootVersion", "255.0.65535"}, {"BootChecksum", "0"},
        {"AppValid", "no"}, {"AppPartNumber", "10"}, {"AppVersion", "3.2.1"}, {"AppChecksum", "0xFFFFFFFF"},
        {"HardwareEUI48", "00-00-5E-00-53-01"}, {"PressureCalId", "5"}, {"PressureCalType", "PR"},
        {"PressureCalMin", "1"}, {"PressureCalMax", "65535"}, {"PressureCalDate", "2031-04-31"},
        {"UsblCalValid", "true"}, {"UsblCalBaseline32", "0.1,-1e-07,3.40282347e+38,-0"},
        {"EngineeringKey", "Key with = and # inside"}, {"EngineeringEnabled", "1"}, {"FlashSize", "1048576"},
    };
    for (const auto& [key, value] : changes)
        ASSERT_TRUE(s.Set(key, value, error)) << key << ": " << error;
    ASSERT_TRUE(s.SaveFile(Path("a.state"), error)) << error;

    TQvSimState back = TQvSimState::Defaults();
    ASSERT_TRUE(back.LoadFile(Path("a.state"), error)) << error;
    EXPECT_EQ(back.Fields(), s.Fields());
    EXPECT_EQ(back.Usbl.Baseline[20], 0.0f);
    EXPECT_EQ(back.Usbl.Baseline[23], 0.1f);
    EXPECT_EQ(back.EngKey, "Key with = and # inside");
    EXPECT_FALSE(std::filesystem::exists(Path("a.state.tmp")));
    EXPECT_EQ(s.Fields().size(), TQvSimState::Keys().size());
}

TEST_F(SimStateFile, BadFilesNameTheLineAndChangeNothing)
{
    struct TCase {
        const char* Text;
        const char* Mention;
    };
    const std::vector<TCase> cases = {
        {"# comment\nHardwareSerialNumber=5\nNoSuchKey=1\n", ":3: unknown state key"},
        {"HardwarePartNumber=5\nHardwarePartRevision=300\n", ":2: HardwarePartRevision"},
        {"HardwareSerialNumber 5\n", ":1: expected Key=Value"},
        {"AppVersion=1.2.x\n", ":1: AppVersion"},
    };
    for (const TCase& c : cases) {
        Write(Path("bad.state"), c.Text);
        TQvSimState s = TQvSimState::Defaults();
        std::string error;
        EXPECT_FALSE(s.LoadFile(Path("bad.state"), error)) << c.Text;
        EXPECT_NE(error.find(c.Mention), std::string::npos) << error;
        EXPECT_EQ(s.Fields(), TQvSimState::Defaults().Fields()) << c.Text;
    }
    TQvSimState s;
    std::string error;
    EXPECT_FALSE(s.LoadFile(Path("missing.state"), error));
    EXPECT_NE(error.find("cannot open"), std::string::npos);
}

TEST_F(SimStateFile, OptionsApplyOverTheFileOverTheDefaults)
{
    Write(Path("b.state"), "  ; hand-written\r\nHardwareSerialNumber = 111\r\nAppValid=0\r\nSection=0\r\nHardwareFlagsUser=0x0003\r\n");
    TQvSimOptions options;
    std::string error;
    ASSERT_TRUE(TQvSimOptions::Parse({"--state", Path("b.state"), "--serial", "222"}, options, error)) << error;
    TQvSimConfig config;
    ASSERT_TRUE(options.Resolve(config, error)) << error;
    EXPECT_EQ(config.State.Hardware.SerialNumber, 222u);           // option over file
    EXPECT_EQ(config.State.Hardware.FlagsUser, 3);                 // file over default
    EXPECT_FALSE(config.State.App.Valid);
    EXPECT_EQ(config.State.Section, 0);
    EXPECT_EQ(config.State.Hardware.PartNumber, TQvSimState::Defaults().Hardware.PartNumber);
    EXPECT_EQ(config.StateFile, Path("b.state"));

    // A state file that does not exist yet is no error: the first run creates it.
    ASSERT_TRUE(TQvSimOptions::Parse({"--state", Path("new.state")}, options, error)) << error;
    EXPECT_TRUE(options.Resolve(config, error)) << error;

    Write(Path("c.state"), "FlashSize=0\n");
    ASSERT_TRUE(TQvSimOptions::Parse({"--state", Path("c.state")}, options, error)) << error;
    EXPECT_FALSE(options.Resolve(config, error));
    EXPECT_NE(error.find("c.state:1: FlashSize"), std::string::npos) << error;
}
