// Files the program rewrites whole (the log, the settings, a Beacon Config File) when the write
// fails half-way (the file-size limit of the process cuts the write off, as a full disk does)
// or cannot start (the folder cannot take files): the failure is reported, the previous file
// stays whole byte for byte, no temporary file is left behind, and nothing held in memory is
// lost, so the next save succeeds.
#include "framework/CvAppLog.h"
#include "framework/CvFiles.h"
#include "framework/CvIniFile.h"
#include "tests/framework/FwTestSupport.h"
#include "protocol/QvConfigFile.h"

#include <gtest/gtest.h>

#include <sys/resource.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace {

// Cuts off every file write of this process beyond `bytes` while it lives (writes fail with
// EFBIG, the signal is ignored).
class TFileSizeLimit {
public:
    explicit TFileSizeLimit(rlim_t bytes)
    {
        fOldHandler = std::signal(SIGXFSZ, SIG_IGN);
        ::getrlimit(RLIMIT_FSIZE, &fOld);
        rlimit limit = fOld;
        limit.rlim_cur = bytes;
        ::setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~TFileSizeLimit()
    {
        ::setrlimit(RLIMIT_FSIZE, &fOld);
        std::signal(SIGXFSZ, fOldHandler);
    }

private:
    rlimit fOld{};
    void (*fOldHandler)(int) = nullptr;
};

std::vector<std::string> FolderNames(const std::string& folder)
{
    std::vector<std::string> out;
    for (const auto& e : std::filesystem::directory_iterator(folder))
        out.push_back(e.path().filename().string());
    std::sort(out.begin(), out.end());
    return out;
}

// One file writer: make the previous file, change what it holds, try to save (returning the
// failure's message, or "" on success), and tell whether the saved file holds the change.
struct TWriter {
    const char* Name;
    std::function<void(const std::string& path)> Setup;
    std::function<void()> Change;
    std::function<bool(std::string& message)> Save; // true when saved
    std::function<bool(const std::string& content)> HoldsChange;
};

class RelFiles : public testing::Test {
protected:
    void TearDown() override { Reset(); }
    void Reset()
    {
        if (fLog) {
            AppLog = nullptr;
            fLog.reset();
        }
        fIni.reset();
        fConfig = TQvCmdEngineeringConfig();
        fConfigPath.clear();
    }

    std::vector<TWriter> Writers()
    {
        return {
            {"log",
             [this](const std::string& path) {
                 fLog = std::make_unique<TCvAppLog>(path);
                 AppLog = fLog.get();
                 fLog->Add(logInfo, "Entry before the failure.");
                 ASSERT_TRUE(fLog->Save());
             },
             [this] {
                 for (int i = 0; i < 400; ++i)
                     fLog->Add(logWarning, "Entry %d written while the disk was full.", i);
             },
             [this](std::string&) { return fLog->Save(); },
             [](const std::string& content) {
                 return content.find("Entry 399 written while the disk was full.") != std::string::npos;
             }},
            {"settings",
             [this](const std::string& path) {
                 fIni = std::make_unique<TCvIniFile>(path);
                 fIni->WriteString("Serial", "Port", "/dev/ttyUSB0");
                 fIni->WriteInteger("Serial", "BaudRate", 115200);
             },
             [] {},
             [this](std::string& message) {
                 try {
                     fIni->WriteString("RecentFiles", "File0", std::string(20000, 'x') + ".fwx");
                     fIni->WriteInteger("Serial", "BaudRate", 9600);
                     return true;
                 } catch (const ECvIniError& e) {
                     message = e.what();
                     return false;
                 }
             },
             [](const std::string& content) { return content.find("BaudRate=9600") != std::string::npos; }},
            {"beacon config file",
             [this](const std::string& path) {
                 fConfigPath = path;
                 fConfig.Hardware.SerialNumber = 1111;
                 std::string error;
                 ASSERT_TRUE(TQvConfigFile::Save(path, fConfig, TCvDateTime{2026, 1, 2, 3, 4, 5, 0}, error)) << error;
             },
             [this] {
                 fConfig.Hardware.SerialNumber = 2222;
                 fConfig.UsblCal.Valid = true;
             },
             [this](std::string& message) {
                 return TQvConfigFile::Save(fConfigPath, fConfig, TCvDateTime{2026, 1, 2, 3, 4, 6, 0}, message);
             },
             [](const std::string& content) { return content.find("SerialNumber=2222") != std::string::npos; }},
        };
    }

    TFwAppEnv fEnv;
    std::unique_ptr<TCvAppLog> fLog;
    std::unique_ptr<TCvIniFile> fIni;
    TQvCmdEngineeringConfig fConfig;
    std::string fConfigPath;
};

TEST_F(RelFiles, WriteCutOffHalfWayKeepsThePreviousFile)
{
    for (TWriter& w : Writers()) {
        SCOPED_TRACE(w.Name);
        TFwTempDir dir;
        const std::string path = dir.File("target.dat");
        w.Setup(path);
        w.Change(); // the log saves by itself on the way (auto-save by count)
        std::string before;
        ASSERT_TRUE(CvReadFile(path, before));
        const std::vector<std::string> names = FolderNames(dir.Path());

        std::string message;
        bool saved = true;
        {
            // Room for part of the new file only: the write stops in the middle.
            TFileSizeLimit limit(before.size() / 2);
            saved = w.Save(message);
        }
        EXPECT_FALSE(saved);
        if (std::string(w.Name) != "log") { // the log reports to itself, so it stays silent
            EXPECT_EQ(message, "Unable to write to " + path);
        }
        std::string after;
        ASSERT_TRUE(CvReadFile(path, after));
        EXPECT_EQ(after, before);
        EXPECT_EQ(FolderNames(dir.Path()), names); // no temporary file left

        // Nothing was lost in memory: with room again the save goes through.
        message.clear();
        EXPECT_TRUE(w.Save(message)) << message;
        ASSERT_TRUE(CvReadFile(path, after));
        EXPECT_TRUE(w.HoldsChange(after));
        EXPECT_EQ(FolderNames(dir.Path()), names);
        Reset();
    }
}

// A folder that cannot take files (here a path whose parent is a file, which fails for every
// user, the superuser included): reported, and what is held in memory stays for a later save.
TEST_F(RelFiles, FolderThatCannotTakeFiles)
{
    for (TWriter& w : Writers()) {
        SCOPED_TRACE(w.Name);
        TFwTempDir dir;
        const std::string good = dir.File("target.dat");
        w.Setup(good);
        w.Change();
        FwWriteFile(dir.File("plain-file"), "not a folder");
        const std::string bad = dir.File("plain-file/target.dat");
        if (fLog)
            fLog->SetFilename(bad);
        if (fIni)
            fIni = std::make_unique<TCvIniFile>(bad);
        fConfigPath = bad;

        std::string message;
        EXPECT_FALSE(w.Save(message));
        if (std::string(w.Name) != "log") {
            EXPECT_EQ(message, "Unable to write to " + bad);
        }
        EXPECT_EQ(FwReadFile(dir.File("plain-file")), "not a folder");

        // Pointed back at a writable place, the held content is saved whole.
        if (fLog)
            fLog->SetFilename(good);
        if (fIni)
            fIni = std::make_unique<TCvIniFile>(good);
        fConfigPath = good;
        message.clear();
        EXPECT_TRUE(w.Save(message)) << message;
        std::string after;
        ASSERT_TRUE(CvReadFile(good, after));
        EXPECT_TRUE(w.HoldsChange(after));
        Reset();
    }
}

} // namespace
