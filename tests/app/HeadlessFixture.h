// The fixture of the headless process tests: the program copied into a temporary folder (so its
// settings, log and lock file live there), simulators on pseudo-terminals, and packages.
#pragma once

#include "tests/framework/FwTestSupport.h"
#include "tests/support/SimProcess.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

class QvHeadlessFixture : public testing::Test {
protected:
    void SetUp() override
    {
        fExe = fDir.File("quorvan-programmer");
        std::filesystem::copy_file(QvProgrammerPath(), fExe);
        std::filesystem::permissions(fExe, std::filesystem::perms::owner_all);
    }
    // Starts the simulator with a short reboot; returns its device path.
    std::string Sim(std::vector<std::string> args = {})
    {
        return StartSim(fSim, std::move(args));
    }
    // Starts one more simulator, kept until the test ends; returns its device path.
    std::string ExtraSim(std::vector<std::string> args = {})
    {
        fExtra.push_back(std::make_unique<TQvSimProcess>());
        return StartSim(*fExtra.back(), std::move(args));
    }
    TQvRunResult Run(const std::vector<std::string>& args) { return QvRun(fExe, args); }
    // A package made by the packer from a deterministic image of `size` bytes.
    std::string Pack(size_t size, const std::string& name = "image")
    {
        std::string image;
        for (size_t i = 0; i < size; ++i)
            image += static_cast<char>((i * 7 + 3) & 0xFF);
        const std::string bin = fDir.File(name + ".bin");
        FwWriteFile(bin, image);
        const std::string fwx = fDir.File(name + ".fwx");
        const TQvRunResult r = QvRun(QvPackPath(), {"--output", fwx, bin});
        EXPECT_EQ(r.ExitCode, 0) << r.Err;
        return fwx;
    }

    TFwTempDir fDir;
    std::string fExe;
    TQvSimProcess fSim;
    std::vector<std::unique_ptr<TQvSimProcess>> fExtra;

private:
    static std::string StartSim(TQvSimProcess& sim, std::vector<std::string> args)
    {
        args.insert(args.begin(), {"--reboot-ms", "300"});
        const std::string port = sim.Start(args);
        EXPECT_FALSE(port.empty()) << sim.Stderr();
        return port;
    }
};

inline bool QvHas(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}
