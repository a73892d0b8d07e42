// Soak: back-to-back programming runs of one engine, command processor and port against an
// unpaced simulated beacon, a random fault in one run of ten. Every run must end (no hang: a
// run still going after 60 simulated seconds fails the soak), every faulty run with "Aborted."
// and the line its fault calls for, every clean run with "Completed."; the resident memory is
// sampled after the first tenth of the runs and at the end.
// The timeline is simulated (manual clock, in-memory port), so the 2-second reboot polls cost
// nothing; usage: soak_bench [runs] [seed].
#include "flashprog/QvFlashProg.h"
#include "framework/CvAppLog.h"
#include "framework/CvTimer.h"
#include "protocol/QvCmdProc.h"
#include "tests/support/TestComPort.h"
#include "tools/fwxpack/QvFwxPack.h"
#include "tools/sim/QvSimBeacon.h"
#include "tools/sim/QvSimOptions.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace {

long RssKiB()
{
    std::ifstream in("/proc/self/status");
    for (std::string line; std::getline(in, line);)
        if (line.rfind("VmRSS:", 0) == 0)
            return std::stol(line.substr(6));
    return -1;
}

struct TFault {
    std::string Options; // simulator options
    std::string Line;    // the error line the run must log before "Aborted."
};

std::vector<TFault> Faults(std::mt19937& rng, int blocks)
{
    const std::string k = std::to_string(1 + static_cast<int>(rng() % static_cast<unsigned>(blocks)));
    return {
        {"--drop PROG_INIT", "Timed out waiting for device to reply."},
        {"--drop PROG_BLOCK:" + k, "Timed out waiting for device to reply."},
        {"--corrupt PROG_BLOCK:" + k, "Timed out waiting for device to reply."},
        {"--status PROG_BLOCK:" + k + "=PROG_FLASH_ERROR",
         "Device block programming not possible due to a Flash memory error."},
        {"--status PROG_INIT=PROG_SECTION_ERROR",
         "Device initialisation not possible due to invalid 'Section' parameter."},
        {"--status PROG_UPDATE=PROG_CHECKSUM_ERROR",
         "Device programming data does not match supplied 'Checksum' parameter."},
        {"--drop PROG_UPDATE", "Timed out waiting for device to reply."},
        {"--no-return", "Device not respondoing to identification requests."},
        {"--poll-answer 9", "Device not respondoing to identification requests."},
        {"--close-at PROG_BLOCK:" + k, "Timed out waiting for device to reply."},
    };
}

std::vector<std::string> Split(const std::string& text)
{
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string w; in >> w;)
        out.push_back(w);
    return out;
}

} // namespace

int main(int argc, char** argv)
{
    const int runs = argc > 1 ? std::atoi(argv[1]) : 1000;
    const unsigned seed = argc > 2 ? static_cast<unsigned>(std::atoi(argv[2])) : 2026u;
    const int blocks = 16;
    std::mt19937 rng(seed);

    TCvManualClock clock;
    TCvTimerServiceScope scope(&clock);
    TCvAppLog log("");
    AppLog = &log;
    std::vector<std::string> lines;
    log.SetOnAdd(TCvAppLogAddEvent::FromFunction([&](TCvAppLogAddParams& p) { lines.push_back(p.Msg); }));

    std::vector<uint8_t> image(static_cast<size_t>(blocks) * 256);
    for (size_t i = 0; i < image.size(); ++i)
        image[i] = static_cast<uint8_t>(i * 31 + 7);
    TQvFwxPackOptions pack;
    pack.Name = "Soak image";
    pack.Timestamp = "2026-01-01 00:00:00";
    const std::string package = (std::filesystem::temp_directory_path() / "qv-soak.fwx").string();
    std::string error;
    if (!TQvFwxPack::WriteFile(package, image, pack, error)) {
        std::fprintf(stderr, "cannot write the package: %s\n", error.c_str());
        return 1;
    }

    TQvTestComPort port;
    TQvCmdProc proc;
    proc.SetComPort(&port);
    std::unique_ptr<TQvSimBeacon> beacon;
    port.SetOnWrite([&](const std::string& text) {
        if (beacon)
            beacon->Input(text);
    });
    auto engine = std::make_unique<TQvFlashProg>(&port, &proc);
    int ended = 0;
    EQvFlashProgAction last = FP_ACTION_START;
    engine->SetOnAction(TQvFlashProgActionEvent::FromFunction([&](TQvFlashProgActionParams& p) {
        if (p.Action == FP_ACTION_DONE || p.Action == FP_ACTION_ERROR) {
            ++ended;
            last = p.Action;
        }
    }));

    int clean = 0, cleanOk = 0, faulty = 0, faultyOk = 0, hangs = 0;
    long rssAfterTenth = -1;
    const long rssStart = RssKiB();
    const auto wallStart = std::chrono::steady_clock::now();
    for (int run = 0; run < runs; ++run) {
        const bool withFault = rng() % 10 == 0;
        TFault fault;
        if (withFault) {
            const std::vector<TFault> all = Faults(rng, blocks);
            fault = all[rng() % all.size()];
        }
        std::vector<std::string> args = Split(fault.Options);
        args.insert(args.end(), {"--reboot-ms", "500"});
        TQvSimOptions options;
        TQvSimConfig config;
        if (!TQvSimOptions::Parse(args, options, error) || !options.Resolve(config, error)) {
            std::fprintf(stderr, "bad simulator options: %s\n", error.c_str());
            return 1;
        }
        beacon = std::make_unique<TQvSimBeacon>(config);
        beacon->SetOnOutput(TCvEvent<TQvSimOutputParams>::FromFunction([&](TQvSimOutputParams& p) {
            port.Receive(std::string(reinterpret_cast<const char*>(p.Data), p.Count));
        }));
        beacon->SetOnClose(TCvEvent<TQvSimBeaconParams>::FromFunction([&](TQvSimBeaconParams&) { port.Close(); }));
        if (!port.Connected())
            port.Open();
        lines.clear();
        const int endedBefore = ended;
        if (engine->DeviceProgram(package) != FP_OK) {
            std::fprintf(stderr, "run %d did not start\n", run);
            return 1;
        }
        const uint64_t deadline = clock.NowMs() + 60000;
        while (ended == endedBefore && clock.NowMs() < deadline) {
            while (port.DeliverPending()) {
            }
            if (ended != endedBefore)
                break;
            if (clock.NextDueIn() < 0)
                break;
            clock.AdvanceToNext();
        }
        while (port.DeliverPending()) {
        }
        port.TakeWritten();
        const bool finished = ended == endedBefore + 1 && engine->State() == FP_IDLE;
        if (!finished) {
            ++hangs;
            std::fprintf(stderr, "run %d (%s) did not end\n", run, fault.Options.c_str());
            engine->Stop();
        }
        if (withFault) {
            ++faulty;
            bool ok = finished && last == FP_ACTION_ERROR && !lines.empty() && lines.back() == "Aborted.";
            bool hasLine = false;
            for (const std::string& l : lines)
                hasLine = hasLine || l == fault.Line;
            ok = ok && hasLine;
            faultyOk += ok;
            if (!ok)
                std::fprintf(stderr, "run %d (%s): not aborted with its line; last \"%s\"\n", run,
                             fault.Options.c_str(), lines.empty() ? "" : lines.back().c_str());
        } else {
            ++clean;
            const bool ok = finished && last == FP_ACTION_DONE && lines.back() == "Completed." &&
                            beacon->Image() == image;
            cleanOk += ok;
            if (!ok)
                std::fprintf(stderr, "clean run %d did not complete; last \"%s\"\n", run,
                             lines.empty() ? "" : lines.back().c_str());
        }
        beacon.reset();
        if (run + 1 == runs / 10)
            rssAfterTenth = RssKiB();
    }
    const double wallS = std::chrono::duration<double>(std::chrono::steady_clock::now() - wallStart).count();
    const long rssEnd = RssKiB();
    engine.reset();
    log.SetOnAdd({});
    AppLog = nullptr;
    std::filesystem::remove(package);

    std::printf("runs %d (seed %u, %d blocks each): clean %d completed %d, faulty %d aborted with their line %d, "
                "hangs %d\n",
                runs, seed, blocks, clean, cleanOk, faulty, faultyOk, hangs);
    std::printf("simulated time %.1f s, wall time %.2f s\n", static_cast<double>(clock.NowMs()) / 1000.0, wallS);
    std::printf("resident memory: start %ld KiB, after %d runs %ld KiB, end %ld KiB (growth over the last 90%%: "
                "%ld KiB)\n",
                rssStart, runs / 10, rssAfterTenth, rssEnd, rssEnd - rssAfterTenth);
    return (hangs == 0 && clean == cleanOk && faulty == faultyOk) ? 0 : 1;
}
