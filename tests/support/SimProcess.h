// Child processes for integration tests: the beacon simulator on its pseudo-terminal, and a run
// of any program with its output collected.
#pragma once

#include <QProcess>
#include <QStringList>

#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <string>
#include <vector>

#ifndef QV_BINARY_DIR
#error "QV_BINARY_DIR must name the build folder"
#endif

inline const char* QvSimPath()
{
    return QV_BINARY_DIR "/tools/quorvan-beacon-sim";
}
inline const char* QvPackPath()
{
    return QV_BINARY_DIR "/tools/quorvan-fwx-pack";
}
inline const char* QvProgrammerPath()
{
    return QV_BINARY_DIR "/app/quorvan-programmer";
}

inline QStringList QvArgs(const std::vector<std::string>& args)
{
    QStringList list;
    for (const std::string& a : args)
        list << QString::fromStdString(a);
    return list;
}

// Children must not inherit this process's descriptors: a pty master held open there would
// keep a device from ever going away.
inline void QvCloseOnExecAll()
{
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
        const int fd = std::atoi(entry.path().filename().c_str());
        if (fd > 2)
            ::fcntl(fd, F_SETFD, ::fcntl(fd, F_GETFD) | FD_CLOEXEC);
    }
}

// A simulator process; its pseudo-terminal path is the first line it prints.
class TQvSimProcess {
public:
    ~TQvSimProcess()
    {
        if (fProc.state() != QProcess::NotRunning) {
            fProc.kill();
            fProc.waitForFinished(5000);
        }
    }

    // Starts the simulator and returns its device path, or empty when it did not start.
    std::string Start(const std::vector<std::string>& args)
    {
        QvCloseOnExecAll();
        fProc.start(QvSimPath(), QvArgs(args));
        if (!fProc.waitForStarted(10000))
            return "";
        while (!fProc.canReadLine() && fProc.state() == QProcess::Running)
            if (!fProc.waitForReadyRead(10000))
                break;
        return fProc.readLine().trimmed().toStdString();
    }

    // Sends the signal and returns the exit code (-1 when it did not end cleanly).
    int Stop(int sig = SIGTERM)
    {
        ::kill(static_cast<pid_t>(fProc.processId()), sig);
        return Wait();
    }

    int Wait()
    {
        if (fProc.state() != QProcess::NotRunning && !fProc.waitForFinished(10000))
            return -1;
        if (fProc.exitStatus() != QProcess::NormalExit)
            return -1;
        return fProc.exitCode();
    }

    std::string Stderr() { return fProc.readAllStandardError().toStdString(); }
    QProcess& Process() { return fProc; }

private:
    QProcess fProc;
};

// The result of running a program to its end.
struct TQvRunResult {
    int ExitCode = -1; // -1 when it crashed or did not finish in time
    std::string Out;
    std::string Err;
};

inline TQvRunResult QvRun(const std::string& program, const std::vector<std::string>& args, int timeoutMs = 60000)
{
    QvCloseOnExecAll();
    QProcess proc;
    proc.start(QString::fromStdString(program), QvArgs(args));
    TQvRunResult r;
    if (!proc.waitForStarted(10000))
        return r;
    if (!proc.waitForFinished(timeoutMs)) {
        proc.kill();
        proc.waitForFinished(5000);
    } else if (proc.exitStatus() == QProcess::NormalExit) {
        r.ExitCode = proc.exitCode();
    }
    r.Out = proc.readAllStandardOutput().toStdString();
    r.Err = proc.readAllStandardError().toStdString();
    return r;
}
