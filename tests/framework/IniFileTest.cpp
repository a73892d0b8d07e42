#include "framework/CvFiles.h"
#include "framework/CvIniFile.h"

#include "FwTestSupport.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <string>
#include <vector>

TEST(CvIniFile, WritesChangeOneLineAndKeepEverythingElse)
{
    TFwTempDir dir;
    const std::string path = dir.File("app.ini");
    FwWriteFile(path,
                "; written by hand\r\n"
                "[Application]\r\n"
                "UserName = Ann\r\n"
                "Windows=0\r\n"
                "InstallerKey=keep me\r\n"
                "\r\n"
                "; the installer's own section\r\n"
                "[Installer]\r\n"
                "Path=/opt/x\r\n"
                "; trailing note\r\n");
    TCvIniFile ini(path);
    ini.WriteInteger("APPLICATION", "windows", 2);    // existing key, other case: spelling kept
    ini.WriteString("Application", "UserName", "Bob"); // spacing around "=" kept
    ini.WriteBool("Application", "Fresh", true);      // new key after the section's last entry
    ini.WriteString("Files", "ConfigPath", "/tmp/"); // new section at the end

    EXPECT_EQ(FwReadFile(path), "; written by hand\r\n"
                                "[Application]\r\n"
                                "UserName = Bob\r\n"
                                "Windows=2\r\n"
                                "InstallerKey=keep me\r\n"
                                "Fresh=1\r\n"
                                "\r\n"
                                "; the installer's own section\r\n"
                                "[Installer]\r\n"
                                "Path=/opt/x\r\n"
                                "; trailing note\r\n"
                                "\r\n"
                                "[Files]\r\n"
                                "ConfigPath=/tmp/\r\n");
    // A second object sees the same content, and names match without regard to case.
    TCvIniFile again(path);
    EXPECT_EQ(again.ReadInteger("application", "WINDOWS", 0), 2);
    EXPECT_EQ(again.ReadString("installer", "path", ""), "/opt/x");
    EXPECT_EQ(again.ReadSections(), (std::vector<std::string>{"Application", "Installer", "Files"}));
    EXPECT_EQ(again.ReadSection("application"),
              (std::vector<std::string>{"UserName", "Windows", "InstallerKey", "Fresh"}));
    EXPECT_TRUE(again.ValueExists("Application", "installerkey"));
    EXPECT_FALSE(again.ValueExists("Installer", "UserName"));
}

TEST(CvIniFile, EraseSectionRemovesOnlyThatSection)
{
    TFwTempDir dir;
    const std::string path = dir.File("a.ini");
    FwWriteFile(path, "[Files]\n"
                      "RecentFile(1)=/a.fwx\n"
                      "RecentFile(2)=/b.fwx\n"
                      "\n"
                      "; serial settings follow\n"
                      "[Communications]\n"
                      "Port=ttyUSB0\n"
                      "[files]\n"
                      "Stray=1\n");
    TCvIniFile ini(path);
    ini.EraseSection("FILES"); // both blocks of the section go; the note above the next one stays
    EXPECT_EQ(FwReadFile(path), "; serial settings follow\n"
                                "[Communications]\n"
                                "Port=ttyUSB0\n");
    EXPECT_FALSE(ini.SectionExists("Files"));
    EXPECT_EQ(ini.ReadString("Files", "RecentFile(1)", "none"), "none");
    EXPECT_EQ(ini.ReadString("Communications", "Port", ""), "ttyUSB0");

    // Erasing and rewriting a section twice gives the same file both times.
    ini.WriteString("Files", "ConfigPath", "/x/");
    const std::string once = FwReadFile(path);
    ini.EraseSection("Files");
    ini.WriteString("Files", "ConfigPath", "/x/");
    EXPECT_EQ(FwReadFile(path), once);

    // Erasing a missing section leaves the file untouched.
    struct stat before {};
    ASSERT_EQ(::stat(path.c_str(), &before), 0);
    ini.EraseSection("Nowhere");
    struct stat after {};
    ASSERT_EQ(::stat(path.c_str(), &after), 0);
    EXPECT_EQ(before.st_ino, after.st_ino);
}

TEST(CvIniFile, IntegerAndBooleanForms)
{
    struct TCase {
        const char* Text;
        int32_t Expected; // read with the default -99
    };
    const TCase cases[] = {
        {"42", 42},           {"-7", -7},          {"+5", 5},           {"0x1F", 31},
        {"0X1f", 31},         {"$FF", 255},        {"$ffffffff", -1},   {"0x80000000", INT32_MIN},
        {"2147483647", INT32_MAX}, {"-2147483648", INT32_MIN}, {"2147483648", -99}, {"0x100000000", -99},
        {"12abc", -99},       {"1.5", -99},        {"", -99},           {"0x", -99},
        {"$", -99},           {"- 1", -99},        {"true", -99},       {"\"17\"", 17},
    };
    TFwTempDir dir;
    const std::string path = dir.File("n.ini");
    const auto key = [](size_t i) { return std::string("K").append(std::to_string(i)); };
    std::string text = "[N]\n";
    for (size_t i = 0; i < std::size(cases); ++i)
        text += key(i) + "=" + cases[i].Text + "\n";
    FwWriteFile(path, text);
    TCvIniFile ini(path);
    for (size_t i = 0; i < std::size(cases); ++i)
        EXPECT_EQ(ini.ReadInteger("N", key(i), -99), cases[i].Expected) << cases[i].Text;
    EXPECT_EQ(ini.ReadInteger("N", "Missing", 7), 7);

    // Booleans are integers: 0 is false, any other number true, anything else the default.
    FwWriteFile(path, "[B]\nZero=0\nOne=1\nTwo=2\nMinus=-1\nHexZero=0x0\nWord=yes\n");
    EXPECT_FALSE(ini.ReadBool("B", "Zero", true));
    EXPECT_TRUE(ini.ReadBool("B", "One", false));
    EXPECT_TRUE(ini.ReadBool("B", "Two", false));
    EXPECT_TRUE(ini.ReadBool("B", "Minus", false));
    EXPECT_FALSE(ini.ReadBool("B", "HexZero", true));
    EXPECT_TRUE(ini.ReadBool("B", "Word", true));
    EXPECT_FALSE(ini.ReadBool("B", "Word", false));

    // Written forms: decimal integers, "1"/"0" Booleans.
    ini.WriteInteger("W", "Neg", -12345);
    ini.WriteBool("W", "On", true);
    ini.WriteBool("W", "Off", false);
    EXPECT_NE(FwReadFile(path).find("[W]\nNeg=-12345\nOn=1\nOff=0\n"), std::string::npos)
        << "a file with LF lines keeps LF";
}

TEST(CvIniFile, StringsRoundTripUpTo2047Characters)
{
    TFwTempDir dir;
    const std::string path = dir.File("s.ini");
    TCvIniFile ini(path);
    EXPECT_EQ(ini.ReadString("S", "K", "default"), "default");
    EXPECT_FALSE(CvFileExists(path)) << "reads create no file";

    std::string longest;
    for (int i = 0; i < 2047; ++i)
        longest += static_cast<char>('a' + i % 26);
    ini.WriteString("S", "Longest", longest);
    ini.WriteString("S", "TooLong", longest + "XYZ");
    std::string umlauts;
    for (int i = 0; i < 2048; ++i)
        umlauts += "\xC3\xA4"; // two bytes per character
    ini.WriteString("S", "Utf8", umlauts);
    const std::vector<std::string> values = {" padded ", "\"quoted\"", "'single'", "", "a=b;c", "x\"y"};
    for (size_t i = 0; i < values.size(); ++i)
        ini.WriteString("S", "V" + std::to_string(i), values[i]);

    TCvIniFile reread(path);
    EXPECT_EQ(reread.ReadString("S", "Longest", ""), longest);
    EXPECT_EQ(reread.ReadString("S", "TooLong", ""), longest);
    EXPECT_EQ(reread.ReadString("S", "Utf8", ""), umlauts.substr(0, 2 * 2047));
    for (size_t i = 0; i < values.size(); ++i)
        EXPECT_EQ(reread.ReadString("S", "V" + std::to_string(i), "?"), values[i]) << values[i];
    EXPECT_TRUE(reread.ValueExists("S", "V3")) << "an empty value is still a key";
}

TEST(CvIniFile, FailedWritesRaiseAndLeaveTheFileWhole)
{
    TFwTempDir dir;
    FwWriteFile(dir.File("plain"), "not a folder");
    // A path whose parent is a regular file can never be written, not even by root.
    const std::string blocked = dir.File("plain") + "/settings.ini";
    TCvIniFile ini(blocked);
    try {
        ini.WriteString("Application", "Windows", "1");
        FAIL() << "no error raised";
    } catch (const ECvIniError& e) {
        EXPECT_EQ(std::string(e.what()), "Unable to write to " + blocked);
    }

    // A name that is a folder cannot be read; it is never overwritten.
    TCvIniFile folder(dir.Path());
    EXPECT_EQ(folder.ReadString("A", "B", "def"), "def");
    EXPECT_THROW(folder.WriteString("A", "B", "c"), ECvIniError);

    // Input that would break the line structure is refused before anything is written.
    const std::string path = dir.File("ok.ini");
    FwWriteFile(path, "[A]\nK=1\n");
    TCvIniFile good(path);
    EXPECT_THROW(good.WriteString("A", "K", "two\nlines"), ECvIniError);
    EXPECT_THROW(good.WriteString("A", "K=", "v"), ECvIniError);
    EXPECT_THROW(good.WriteString("A", "", "v"), ECvIniError);
    EXPECT_THROW(good.WriteString("A]", "K", "v"), ECvIniError);
    EXPECT_THROW(good.WriteString("A\r\n[B", "K", "v"), ECvIniError);
    EXPECT_EQ(FwReadFile(path), "[A]\nK=1\n");
    EXPECT_EQ(FwFileCount(dir.Path()), 2u) << "no temporary file is left behind";
}

TEST(CvIniFile, RewritesKeepPermissionsEncodingAndSeeOtherWriters)
{
    TFwTempDir dir;
    const std::string path = dir.File("p.ini");
    FwWriteFile(path, "\xEF\xBB\xBF[A]\nK=1\n");
    ASSERT_EQ(::chmod(path.c_str(), 0640), 0);
    TCvIniFile first(path);
    TCvIniFile second(path);
    EXPECT_EQ(first.ReadInteger("A", "K", 0), 1);
    second.WriteInteger("A", "K", 2);
    EXPECT_EQ(first.ReadInteger("A", "K", 0), 2) << "a write through another object is seen";
    first.WriteString("A", "L", "x");
    EXPECT_EQ(FwReadFile(path), "\xEF\xBB\xBF[A]\nK=2\nL=x\n");
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
    // Writing the value already stored changes nothing on disk.
    first.WriteInteger("A", "K", 2);
    struct stat same {};
    ASSERT_EQ(::stat(path.c_str(), &same), 0);
    EXPECT_EQ(same.st_ino, st.st_ino);
    EXPECT_EQ(FwFileCount(dir.Path()), 1u);
}
