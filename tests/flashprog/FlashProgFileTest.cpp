// The fwx package reader: a table of small packages, each with the result and the error lines
// it must give, and the values the loaded target must hold.
#include "flashprog/QvFlashProg.h"
#include "flashprog/QvFlashProgFile.h"

#include "tests/flashprog/FlashProgTestSupport.h"

#include <gtest/gtest.h>
#include <pugixml.hpp>

#include <ostream>
#include <string>
#include <vector>

namespace {

// A package around `targets` (the content of the Targets element).
std::string Package(const std::string& targets)
{
    return "<?xml version=\"1.0\"?>\n<Firmware>\n  <Config/>\n  <Targets>\n" + targets + "  </Targets>\n</Firmware>\n";
}

// A valid target attribute set for device 0 with a 4-byte image, plus `extra` attributes.
const std::string kAttrs = "Device=\"0\" Section=\"1\" Length=\"4\" Checksum=\"1234ABCD\"";
const std::string kBlock0 = "<Data Block=\"0\" Length=\"4\">DEADBEEF</Data>";

std::string Target(const std::string& attrs, const std::string& children)
{
    return "    <Target " + attrs + ">" + children + "</Target>\n";
}

struct TReadCase {
    const char* Name;
    std::string Xml;
    EQvFlashProgReturn Result;
    std::vector<std::string> Errors; // every logError line of the load, in order
};

void PrintTo(const TReadCase& c, std::ostream* os)
{
    *os << c.Name;
}

std::vector<TReadCase> ReadCases()
{
    const std::string huge(2 * 65536, 'A');
    const std::string max(2 * 65535, 'B');
    return {
        {"NotXml", "<Firmware><Config/>", FP_ERR_FILEFORMAT, {"Cannot parse the XML firmware file."}},
        {"EmptyFile", "", FP_ERR_FILEFORMAT, {"Cannot parse the XML firmware file."}},
        {"NoFirmware", "<Package><Config/><Targets/></Package>", FP_ERR_FILEFORMAT,
         {"Cannot find the \"Firmware\" XML node."}},
        {"FirmwareNameIsCaseSensitive", "<firmware><Config/><Targets/></firmware>", FP_ERR_FILEFORMAT,
         {"Cannot find the \"Firmware\" XML node."}},
        {"NoConfig", "<Firmware><Targets>" + Target(kAttrs, kBlock0) + "</Targets></Firmware>", FP_ERR_FILEFORMAT,
         {"Cannot find the \"Config\" XML node."}},
        {"NoTargets", "<Firmware><Config/></Firmware>", FP_ERR_FILEFORMAT, {"Cannot find the \"Targets\" XML node."}},
        {"NoTargetChildren", Package(""), FP_ERR_TARGET, {"Cannot find firmware for target device 0."}},
        {"Device1Only", Package(Target("Device=\"1\" Section=\"1\" Length=\"4\" Checksum=\"1\"", kBlock0)),
         FP_ERR_TARGET, {"Cannot find firmware for target device 0."}},
        {"CommentIsNoTarget", Package("<!-- Device=\"0\" -->"), FP_ERR_TARGET,
         {"Cannot find firmware for target device 0."}},
        {"SignatureCheckedFirst",
         Package(Target("Device=\"0\" Section=\"-1\" Length=\"4\" Checksum=\"1\" Signature=\"12XY\"", kBlock0)),
         FP_ERR_TARGETDATA, {"Invalid or missing \"Signature\" value."}},
        {"SectionMissing", Package(Target("Device=\"0\" Length=\"4\" Checksum=\"1\"", kBlock0)), FP_ERR_TARGETDATA,
         {"Invalid or missing \"Section\" value."}},
        {"ChecksumWithPrefix", Package(Target("Device=\"0\" Section=\"1\" Length=\"4\" Checksum=\"0x12\"", kBlock0)),
         FP_ERR_TARGETDATA, {"Invalid or missing \"Checksum\" value."}},
        {"ChecksumNineDigits",
         Package(Target("Device=\"0\" Section=\"1\" Length=\"4\" Checksum=\"1FFFFFFFF\"", kBlock0)),
         FP_ERR_TARGETDATA, {"Invalid or missing \"Checksum\" value."}},
        {"LengthZero", Package(Target("Device=\"0\" Section=\"1\" Length=\"0\" Checksum=\"1\"", kBlock0)),
         FP_ERR_TARGETDATA, {"Invalid or missing \"Length\" value."}},
        {"LengthNotNumber", Package(Target("Device=\"0\" Section=\"1\" Length=\"4x\" Checksum=\"1\"", kBlock0)),
         FP_ERR_TARGETDATA, {"Invalid or missing \"Length\" value."}},
        {"NoChildren", Package("    <Target " + kAttrs + "/>\n"), FP_ERR_TARGETDATA,
         {"No target \"Data\" is available."}},
        {"CommentOnlyTarget", Package(Target(kAttrs, "<!-- no data yet -->")), FP_ERR_TARGETDATA,
         {"Data length mismatch, read 0 bytes, expected 4 bytes."}},
        {"OtherChildrenSkipped", Package(Target(kAttrs, "<Note>x</Note>" + kBlock0 + "<data Block=\"1\"/>")), FP_OK,
         {}},
        {"Blocks0And2",
         Package(Target("Device=\"0\" Section=\"1\" Length=\"6\" Checksum=\"1\"",
                        kBlock0 + "<Data Block=\"2\" Length=\"2\">0102</Data>")),
         FP_ERR_TARGETDATA,
         {"Non-sequential data \"Block\" attribute.", "Data length mismatch, read 4 bytes, expected 6 bytes."}},
        // The blocks before the faulty one already hold Length bytes: the load succeeds.
        {"Blocks0And2FirstIsEnough", Package(Target(kAttrs, kBlock0 + "<Data Block=\"2\" Length=\"2\">0102</Data>")),
         FP_OK, {"Non-sequential data \"Block\" attribute."}},
        {"BlockAttributeMissingIsAccepted", Package(Target(kAttrs, "<Data Length=\"4\">DEADBEEF</Data>")), FP_OK,
         {"Invalid or missing data \"Block\" attribute."}},
        {"BlockLengthMissing", Package(Target(kAttrs, "<Data Block=\"0\">DEADBEEF</Data>")), FP_ERR_TARGETDATA,
         {"Invalid or missing data \"Length\" attribute in Block 0.",
          "Data length mismatch, read 0 bytes, expected 4 bytes."}},
        // With Block missing too, the block number shows as the unsigned form of -1.
        {"BlockAndLengthMissing", Package(Target(kAttrs, "<Data>DEADBEEF</Data>")), FP_ERR_TARGETDATA,
         {"Invalid or missing data \"Block\" attribute.",
          "Invalid or missing data \"Length\" attribute in Block 4294967295.",
          "Data length mismatch, read 0 bytes, expected 4 bytes."}},
        {"MultiLineHex", Package(Target(kAttrs, "<Data Block=\"0\" Length=\"4\">DEAD\nBEEF</Data>")),
         FP_ERR_TARGETDATA, {"Invalid data in Block 0.", "Data length mismatch, read 0 bytes, expected 4 bytes."}},
        {"HexWithBlanks", Package(Target(kAttrs, "<Data Block=\"0\" Length=\"4\"> DEADBEEF </Data>")),
         FP_ERR_TARGETDATA, {"Invalid data in Block 0.", "Data length mismatch, read 0 bytes, expected 4 bytes."}},
        {"FewerBytesThanDeclared", Package(Target(kAttrs, "<Data Block=\"0\" Length=\"4\">DEADBE</Data>")),
         FP_ERR_TARGETDATA,
         {"Insufficiant data in Block 0.", "Data length mismatch, read 0 bytes, expected 4 bytes."}},
        {"MoreBytesThanDeclared", Package(Target(kAttrs, "<Data Block=\"0\" Length=\"3\">DEADBEEF</Data>")),
         FP_ERR_TARGETDATA,
         {"Insufficiant data in Block 0.", "Data length mismatch, read 0 bytes, expected 4 bytes."}},
        {"EmptyBlockAccepted",
         Package(Target(kAttrs, "<Data Block=\"0\" Length=\"0\"></Data><Data Block=\"1\" Length=\"4\">DEADBEEF</Data>")),
         FP_OK, {}},
        {"OversizedBlock",
         Package(Target("Device=\"0\" Section=\"1\" Length=\"65536\" Checksum=\"1\"",
                        "<Data Block=\"0\" Length=\"65536\">" + huge + "</Data>")),
         FP_ERR_TARGETDATA, {"Data Block 0 is too long (65536 bytes, at most 65535 bytes per block)."}},
        {"LargestBlock",
         Package(Target("Device=\"0\" Section=\"1\" Length=\"65535\" Checksum=\"1\"",
                        "<Data Block=\"0\" Length=\"65535\">" + max + "</Data>")),
         FP_OK, {}},
    };
}

class QvFlashProgFileRead : public testing::TestWithParam<TReadCase> {};

} // namespace

TEST_P(QvFlashProgFileRead, ResultAndErrors)
{
    const TReadCase& c = GetParam();
    TFpTempDir dir;
    const std::string path = dir.Write("case.fwx", c.Xml);
    TFpLogCapture log;
    TQvFlashProgTarget target;
    EXPECT_EQ(TQvFlashProgFile::Load(path, target), c.Result);
    EXPECT_EQ(log.Texts(logError), FpLogged(c.Errors));
    // A successful load always satisfies the target's invariants.
    if (c.Result == FP_OK) {
        EXPECT_GE(target.Device, 0);
        EXPECT_GE(target.Section, 0);
        EXPECT_NE(target.Checksum, 0u);
        uint64_t sum = 0;
        for (const TQvFlashProgBlock& b : target.Block) {
            EXPECT_EQ(b.Data.size(), static_cast<size_t>(b.Length));
            sum += b.Data.size();
        }
        EXPECT_EQ(sum, target.Length);
        EXPECT_EQ(log.Texts(logInfo).front(), "Firmware sucessfully loaded...");
    } else {
        EXPECT_TRUE(log.Texts(logInfo).empty());
    }
}

INSTANTIATE_TEST_SUITE_P(Packages, QvFlashProgFileRead, testing::ValuesIn(ReadCases()),
                         [](const testing::TestParamInfo<TReadCase>& info) { return std::string(info.param.Name); });

TEST(QvFlashProgFile, AttributeConversionsAndSummary)
{
    TFpTempDir dir;
    // The first of two device-0 targets is used; the target element's name is not examined.
    const std::string xml = Package(
        "    <Image Device=\" 0\" Name=\"Main app\" Timestamp=\"2026-01-02 03:04\" Section=\"$1\" PartNumber=\"123\" "
        "PartRevMin=\"300\" PartRevMax=\"0x1FF\" SerialNumber=\"4567\" DataFormat=\"258\" Length=\"5\" "
        "Checksum=\"ffffffff\" Signature=\"abc\">\n"
        "      <!-- the image -->\n"
        "      <Data Block=\"0\" Length=\"2\">ABC</Data>\n"
        "      <Data Block=\"1\" Length=\"3\">010203</Data>\n"
        "    </Image>\n" +
        Target("Device=\"0\" Name=\"Second\" Section=\"1\" Length=\"4\" Checksum=\"1\"", kBlock0));
    const std::string path = dir.Write("full.fwx", xml);
    TFpLogCapture log;
    TQvFlashProgTarget target;
    ASSERT_EQ(TQvFlashProgFile::Load(path, target), FP_OK) << log.Dump();

    EXPECT_EQ(target.Name, "Main app");
    EXPECT_EQ(target.Section, 1);
    EXPECT_EQ(target.PartNumber, 123u);
    EXPECT_EQ(target.PartRevisionMin, 44);  // 300, low 8 bits
    EXPECT_EQ(target.PartRevisionMax, 255); // 0x1FF, low 8 bits
    EXPECT_EQ(target.DataFormat, 2);        // 258, low 8 bits
    EXPECT_EQ(target.Checksum, 0xFFFFFFFFu);
    EXPECT_EQ(target.Signature, (std::vector<uint8_t>{0x0A, 0xBC}));
    ASSERT_EQ(target.Block.size(), 2u);
    EXPECT_EQ(target.Block[0].Data, (std::vector<uint8_t>{0x0A, 0xBC})); // odd hex: a leading "0"
    EXPECT_EQ(target.Block[1].Block, 1);

    EXPECT_EQ(log.Texts(logInfo), FpLogged(std::vector<std::string>{
                                      "Firmware sucessfully loaded...",
                                      "Target = Device 0, Section 1",
                                      "Name = \"Main app\"",
                                      "Timestamp = 2026-01-02 03:04",
                                      "DataFormat = 2",
                                      "Length = 5 bytes (in 2 blocks)",
                                      "Checksum = 0xffffffff",
                                      "Part Number = 00123",
                                      "Serial Number = 004567",
                                      "Signature = 0x0ABC",
                                  }));
}

TEST(QvFlashProgFile, SummaryWithoutOptionalAttributes)
{
    TFpTempDir dir;
    const std::string path = dir.Write("min.fwx", Package(Target(kAttrs, kBlock0)));
    TFpLogCapture log;
    TQvFlashProgTarget target;
    target.Signature = {1, 2, 3}; // released before the read
    target.Name = "old";
    ASSERT_EQ(TQvFlashProgFile::Load(path, target), FP_OK);
    EXPECT_TRUE(target.Signature.empty());
    EXPECT_TRUE(target.Name.empty());
    EXPECT_EQ(target.PartNumber, 0u);
    EXPECT_EQ(target.SerialNumber, 0u);
    // No part or serial number lines; an empty signature shows "0x" and nothing after it.
    EXPECT_EQ(log.Texts(logInfo), FpLogged(std::vector<std::string>{
                                      "Firmware sucessfully loaded...",
                                      "Target = Device 0, Section 1",
                                      "Name = \"\"",
                                      "Timestamp = ",
                                      "DataFormat = 0",
                                      "Length = 4 bytes (in 1 blocks)",
                                      "Checksum = 0x1234abcd",
                                      "Signature = 0x",
                                  }));
}

// ReadTarget also serves targets FindTarget would never pick: the validation order shows there.
TEST(QvFlashProgFile, ReadTargetValidationOrder)
{
    const struct {
        const char* Attrs;
        const char* Error;
    } cases[] = {
        {"Signature=\"12XY\"", "Invalid or missing \"Signature\" value."}, // before the Device check
        {"Device=\"-3\" Signature=\"12\"", "Invalid or missing \"Device\" value."},
        {"Device=\"zero\" Section=\"1\"", "Invalid or missing \"Device\" value."},
        {"Device=\"0\" Section=\"1\" Length=\"4\"", "Invalid or missing \"Checksum\" value."},
    };
    for (const auto& c : cases) {
        pugi::xml_document doc;
        const std::string xml = std::string("<Target ") + c.Attrs + ">" + kBlock0 + "</Target>";
        ASSERT_TRUE(doc.load_string(xml.c_str()));
        TFpLogCapture log;
        TQvFlashProgTarget target;
        EXPECT_FALSE(TQvFlashProgFile::ReadTarget(doc.first_child(), target));
        EXPECT_EQ(log.Texts(logError), FpLogged(std::vector<std::string>{c.Error})) << c.Attrs;
    }
}

TEST(QvFlashProgFile, MissingFile)
{
    TFpTempDir dir;
    TFpLogCapture log;
    EXPECT_FALSE(TQvFlashProgFile::CheckFile(dir.Path() + "absent.fwx"));
    EXPECT_FALSE(TQvFlashProgFile::CheckFile(dir.Path())); // a folder is not a firmware file
    EXPECT_FALSE(TQvFlashProgFile::CheckFile(""));
    EXPECT_EQ(log.Texts(logError), FpLogged(std::vector<std::string>{
                                       "Cannot find the firmware file \"" + dir.Path() + "absent.fwx\".",
                                       "Cannot find the firmware file \"" + dir.Path() + "\".",
                                       "Cannot find the firmware file \"\".",
                                   }));
    EXPECT_TRUE(TQvFlashProgFile::CheckFile(dir.Write("there.fwx", "x")));
}

// Through the engine: a failed load aborts (state idle, "Aborted.", FP_ACTION_ERROR) and the
// result code tells the kind; a good package with the port closed is refused without an event.
TEST(QvFlashProgFile, LoadStepsOfDeviceProgram)
{
    TFpTempDir dir;
    TCvManualClock clock;
    TCvTimerServiceScope scope(&clock);
    TQvTestComPort port; // never opened
    TQvCmdProc proc;
    proc.SetComPort(&port);
    TQvFlashProg engine(&port, &proc);
    std::vector<EQvFlashProgAction> actions;
    engine.SetOnAction(TQvFlashProgActionEvent::FromFunction(
        [&](TQvFlashProgActionParams& p) { actions.push_back(p.Action); }));

    const std::string missing = dir.Path() + "none.fwx";
    const std::string bad = dir.Write("bad.fwx", Package(Target(kAttrs, "")));
    const std::string good = dir.Write("good.fwx", Package(Target(kAttrs, kBlock0)));
    {
        TFpLogCapture log;
        EXPECT_EQ(engine.DeviceProgram(missing), FP_ERR_FILENAME);
        EXPECT_EQ(log.Lines(), FpLogged(std::vector<std::string>{
                                   "INFO Programming firmware from file \"" + missing + "\"...",
                                   "ERROR Cannot find the firmware file \"" + missing + "\".",
                                   "ERROR Aborted.",
                               }));
    }
    {
        TFpLogCapture log;
        EXPECT_EQ(engine.DeviceProgram(bad), FP_ERR_TARGETDATA);
        EXPECT_EQ(log.Texts(logError), FpLogged(std::vector<std::string>{"No target \"Data\" is available.", "Aborted."}));
    }
    EXPECT_EQ(actions, (std::vector<EQvFlashProgAction>{FP_ACTION_ERROR, FP_ACTION_ERROR}));
    EXPECT_EQ(engine.State(), FP_IDLE);
    EXPECT_TRUE(engine.Filename().empty());
    {
        TFpLogCapture log;
        EXPECT_EQ(engine.DeviceProgram(good), FP_ERR_COMMS);
        EXPECT_EQ(log.Texts(logError), FpLogged(std::vector<std::string>{"The serial comms port is not connected."}));
        EXPECT_EQ(log.Texts(logInfo).size(), 9u); // the request line and the eight summary lines
    }
    EXPECT_EQ(actions.size(), 2u); // no event for a refused start
    EXPECT_EQ(engine.State(), FP_IDLE);
    EXPECT_EQ(port.Written(), "");
    EXPECT_EQ(engine.Target().Length, 4u); // kept until the next load
}
