// The fwx packer: its packages load with pugixml, carry the attributes asked for, and their
// blocks add up to the image; the committed demo package is one the default beacon accepts.
#include "SimTestSupport.h"

#include "tools/fwxpack/QvFwxPack.h"

#include <pugixml.hpp>

#include <filesystem>

namespace {
struct TLoaded {
    pugi::xml_document Doc;
    pugi::xml_node Target;
    std::vector<uint8_t> Image; // the blocks joined
    std::vector<size_t> Lengths;
    bool BlocksInOrder = true;
};

void Load(TLoaded& l, const std::string& xml)
{
    ASSERT_TRUE(l.Doc.load_string(xml.c_str()));
    const pugi::xml_node firmware = l.Doc.child("Firmware");
    ASSERT_TRUE(firmware.child("Config"));
    l.Target = firmware.child("Targets").first_child();
    ASSERT_TRUE(l.Target);
    int expected = 0;
    for (pugi::xml_node d : l.Target.children("Data")) {
        std::vector<uint8_t> bytes;
        EXPECT_TRUE(TCvConvert::HexToBytes(d.text().get(), bytes));
        EXPECT_EQ(d.attribute("Length").as_ullong(), bytes.size());
        l.BlocksInOrder = l.BlocksInOrder && d.attribute("Block").as_int(-1) == expected++;
        l.Lengths.push_back(bytes.size());
        l.Image.insert(l.Image.end(), bytes.begin(), bytes.end());
    }
}
} // namespace

TEST(FwxPack, BlocksAddUpToTheImage)
{
    struct TCase {
        size_t Size;
        uint32_t BlockSize;
        std::vector<size_t> Lengths;
    };
    const std::vector<TCase> cases = {
        {1000, 256, {256, 256, 256, 232}},
        {512, 256, {256, 256}},
        {1, 256, {1}},
        {5, 1, {1, 1, 1, 1, 1}},
        {70000, 65535, {65535, 4465}},
    };
    for (const TCase& c : cases) {
        const std::vector<uint8_t> image = SimTestImage(c.Size, static_cast<uint32_t>(c.Size));
        TQvFwxPackOptions o;
        o.BlockSize = c.BlockSize;
        std::string xml, error;
        ASSERT_TRUE(TQvFwxPack::Build(image, o, xml, error)) << error;
        TLoaded l;
        Load(l, xml);
        EXPECT_EQ(l.Lengths, c.Lengths) << c.Size;
        EXPECT_TRUE(l.BlocksInOrder);
        EXPECT_EQ(l.Image, image) << c.Size;
        EXPECT_EQ(l.Target.attribute("Length").as_ullong(), c.Size);
        EXPECT_EQ(std::string(l.Target.attribute("Checksum").value()), TCvConvert::IntToHex(TCvCrc::Crc32(image), 8));
        // Data text is one run of hex digits, as the loader needs it.
        EXPECT_EQ(std::string(l.Target.child("Data").text().get()).find_first_not_of("0123456789ABCDEF"), std::string::npos);
    }
}

TEST(FwxPack, AttributesAreWrittenAsGivenAndLeftOutOtherwise)
{
    const std::vector<uint8_t> image = SimTestImage(100);
    TQvFwxPackOptions plain;
    plain.Name = "Name with <markup> & \"quotes\"";
    plain.Timestamp = "2026-02-03 04:05:06";
    std::string xml, error;
    ASSERT_TRUE(TQvFwxPack::Build(image, plain, xml, error));
    TLoaded a;
    Load(a, xml);
    EXPECT_STREQ(a.Target.attribute("Device").value(), "0");
    EXPECT_STREQ(a.Target.attribute("Section").value(), "1");
    EXPECT_STREQ(a.Target.attribute("DataFormat").value(), "0");
    EXPECT_STREQ(a.Target.attribute("Name").value(), "Name with <markup> & \"quotes\"");
    EXPECT_STREQ(a.Target.attribute("Timestamp").value(), "2026-02-03 04:05:06");
    for (const char* absent : {"PartNumber", "PartRevMin", "PartRevMax", "SerialNumber", "Signature"})
        EXPECT_FALSE(a.Target.attribute(absent)) << absent;

    TQvFwxPackOptions full = plain;
    full.Device = 3;
    full.Section = 0;
    full.PartNumber = 1520;
    full.PartRevMin = 300;
    full.PartRevMax = 4;
    full.SerialNumber = 104857;
    full.DataFormat = 2;
    full.Signature = {0x0A, 0xBC, 0xFF};
    full.Checksum = 0x0000ABCD;
    full.Length = 99;
    ASSERT_TRUE(TQvFwxPack::Build(image, full, xml, error));
    TLoaded b;
    Load(b, xml);
    EXPECT_STREQ(b.Target.attribute("Device").value(), "3");
    EXPECT_STREQ(b.Target.attribute("Section").value(), "0");
    EXPECT_STREQ(b.Target.attribute("PartNumber").value(), "1520");
    EXPECT_STREQ(b.Target.attribute("PartRevMin").value(), "300");
    EXPECT_STREQ(b.Target.attribute("PartRevMax").value(), "4");
    EXPECT_STREQ(b.Target.attribute("SerialNumber").value(), "104857");
    EXPECT_STREQ(b.Target.attribute("DataFormat").value(), "2");
    EXPECT_STREQ(b.Target.attribute("Signature").value(), "0ABCFF");
    EXPECT_STREQ(b.Target.attribute("Checksum").value(), "0000ABCD");
    EXPECT_STREQ(b.Target.attribute("Length").value(), "99");
    EXPECT_EQ(b.Image, image) << "overrides change the attributes only";
}

TEST(FwxPack, RefusesWhatCannotBeAPackage)
{
    std::string xml, error;
    EXPECT_FALSE(TQvFwxPack::Build({}, TQvFwxPackOptions(), xml, error));
    EXPECT_EQ(error, "the image is empty");
    TQvFwxPackOptions zero;
    zero.BlockSize = 0;
    EXPECT_FALSE(TQvFwxPack::Build({1, 2, 3}, zero, xml, error));
    EXPECT_NE(error.find("block size"), std::string::npos);

    const std::filesystem::path dir = std::filesystem::temp_directory_path() / "qv_fwx_refuse";
    std::filesystem::remove_all(dir);
    std::vector<uint8_t> image;
    EXPECT_FALSE(TQvFwxPack::ReadImage((dir / "missing.bin").string(), image, error));
    EXPECT_NE(error.find("cannot open"), std::string::npos);
    EXPECT_FALSE(TQvFwxPack::WriteFile((dir / "no-such-folder" / "x.fwx").string(), {1}, TQvFwxPackOptions(), error));
    EXPECT_NE(error.find("cannot write"), std::string::npos);
}

TEST(FwxPack, DemoPackageProgrammesTheDefaultBeacon)
{
    pugi::xml_document doc;
    ASSERT_TRUE(doc.load_file(QV_SOURCE_DIR "/examples/demo.fwx"));
    std::ostringstream text;
    doc.save(text);
    TLoaded l;
    Load(l, text.str());
    EXPECT_TRUE(l.BlocksInOrder);
    EXPECT_EQ(l.Image.size(), 65536u);
    EXPECT_EQ(l.Target.attribute("Length").as_ullong(), l.Image.size());
    const uint32_t checksum = static_cast<uint32_t>(TCvConvert::HexToIntDef(l.Target.attribute("Checksum").value(), 0));
    EXPECT_EQ(checksum, TCvCrc::Crc32(l.Image));

    TQvSimConfig config;
    config.RebootMs = 0;
    TSimRig rig(config);
    TSimInit init = SimInitFor(l.Image);
    init.PartNumber = static_cast<uint16_t>(l.Target.attribute("PartNumber").as_uint());
    init.RevMin = static_cast<uint8_t>(l.Target.attribute("PartRevMin").as_uint());
    init.RevMax = static_cast<uint8_t>(l.Target.attribute("PartRevMax").as_uint());
    init.Section = static_cast<uint8_t>(l.Target.attribute("Section").as_uint());
    ASSERT_EQ(SimStatusOf(rig.Ask(SimInitRequest(init))), 0);
    size_t pos = 0;
    for (size_t n : l.Lengths) {
        const std::vector<uint8_t> block(l.Image.begin() + static_cast<std::ptrdiff_t>(pos),
                                         l.Image.begin() + static_cast<std::ptrdiff_t>(pos + n));
        ASSERT_EQ(SimStatusOf(rig.Ask(SimBlockRequest(block))), 0);
        pos += n;
    }
    EXPECT_EQ(SimStatusOf(rig.Ask(SimUpdateRequest())), 0);
    EXPECT_EQ(+rig.Info().App.Checksum, checksum);
}
