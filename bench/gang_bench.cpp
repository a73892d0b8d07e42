// Several beacons at once: 1, 2, 4 and 8 simulator processes paced at 115200 baud, each
// programmed with the same 64 KiB package, first by one program process serving every port
// (-PORT=A,B,...), then by one single-port process per beacon started together. Reports the
// wall time of each against one beacon's time and the program's CPU seconds per beacon (user +
// system of the program processes only, from wait4; the simulators are not counted).
// usage: gang_bench [max beacons, default 8] [reboot ms, default 3000]
#include "bench/BenchPackage.h"
#include "tests/support/SimProcess.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

struct TRun {
    double Seconds = 0;
    double CpuSeconds = 0;
    bool Ok = true;
};

double CpuOf(const rusage& usage)
{
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec)
        + static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// Starts the program with `args`, output to /dev/null; returns its process id.
pid_t Spawn(const std::string& exe, const std::vector<std::string>& args)
{
    QvCloseOnExecAll();
    const pid_t pid = ::fork();
    if (pid == 0) {
        std::vector<char*> argv;
        argv.push_back(const_cast<char*>(exe.c_str()));
        for (const std::string& a : args)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        const int null = ::open("/dev/null", O_WRONLY);
        ::dup2(null, STDOUT_FILENO);
        ::dup2(null, STDERR_FILENO);
        ::execv(exe.c_str(), argv.data());
        ::_exit(127);
    }
    return pid;
}

// Runs the processes together and waits for all of them.
TRun RunTogether(const std::string& exe, const std::vector<std::vector<std::string>>& runs)
{
    const auto start = std::chrono::steady_clock::now();
    std::vector<pid_t> pids;
    for (const auto& args : runs)
        pids.push_back(Spawn(exe, args));
    TRun result;
    for (const pid_t pid : pids) {
        int status = 0;
        rusage usage{};
        if (pid <= 0 || ::wait4(pid, &status, 0, &usage) != pid) {
            result.Ok = false;
            continue;
        }
        result.CpuSeconds += CpuOf(usage);
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
            std::fprintf(stderr, "  a program run ended with status %d\n", WIFEXITED(status) ? WEXITSTATUS(status) : -1);
            result.Ok = false;
        }
    }
    result.Seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return result;
}

} // namespace

int main(int argc, char** argv)
{
    const size_t maxBeacons = argc > 1 ? static_cast<size_t>(std::atoi(argv[1])) : 8;
    const std::string rebootMs = argc > 2 ? argv[2] : "3000";
    const std::string package = QvBenchPackage("qv-gang-bench.fwx", 256, 2026, "gang_bench.bin");
    if (package.empty()) {
        std::fprintf(stderr, "the package could not be written\n");
        return 1;
    }
    // The program runs from its own folder, so its settings and log stay out of the build.
    const std::filesystem::path dir = std::filesystem::temp_directory_path() / "qv-gang-bench";
    std::filesystem::create_directories(dir);
    const std::string exe = (dir / "quorvan-programmer").string();
    std::filesystem::copy_file(QvProgrammerPath(), exe, std::filesystem::copy_options::overwrite_existing);

    std::vector<std::unique_ptr<TQvSimProcess>> sims;
    std::vector<std::string> ports;
    for (size_t i = 0; i < maxBeacons; ++i) {
        sims.push_back(std::make_unique<TQvSimProcess>());
        const std::string port =
            sims.back()->Start({"--baud", "115200", "--reboot-ms", rebootMs, "--serial", std::to_string(1000 + i)});
        if (port.empty()) {
            std::fprintf(stderr, "simulator %zu did not start: %s\n", i + 1, sims.back()->Stderr().c_str());
            return 1;
        }
        ports.push_back(port);
    }

    std::printf("64 KiB package (256 blocks), simulators paced at 115200 baud, reboot %s ms\n", rebootMs.c_str());
    std::printf("%-8s | %-32s | %-32s\n", "beacons", "one process, -PORT=A,B,...", "one process per beacon");
    std::printf("%-8s | %9s %9s %12s | %9s %9s %12s\n", "", "seconds", "x one", "CPU s/beacon", "seconds", "x one",
                "CPU s/beacon");
    double one = 0;
    bool ok = true;
    for (size_t n = 1; n <= maxBeacons; n *= 2) {
        std::string list;
        std::vector<std::vector<std::string>> separate;
        for (size_t i = 0; i < n; ++i) {
            list += (i ? "," : "") + ports[i];
            separate.push_back({"program", package, "-PORT=" + ports[i], "-BAUD=115200"});
        }
        const TRun gang = RunTogether(exe, {{"program", package, "-PORT=" + list, "-BAUD=115200"}});
        const TRun apart = RunTogether(exe, separate);
        if (n == 1)
            one = gang.Seconds;
        ok = ok && gang.Ok && apart.Ok;
        std::printf("%-8zu | %9.2f %9.3f %12.3f | %9.2f %9.3f %12.3f%s\n", n, gang.Seconds, gang.Seconds / one,
                    gang.CpuSeconds / static_cast<double>(n), apart.Seconds, apart.Seconds / one,
                    apart.CpuSeconds / static_cast<double>(n), gang.Ok && apart.Ok ? "" : "  (a run failed)");
        std::fflush(stdout);
    }
    std::filesystem::remove_all(dir);
    std::filesystem::remove(package);
    return ok ? 0 : 1;
}
