#include "serial/ComPortLock.h"

#include "framework/CvFormat.h"

#include <QDir>
#include <QLockFile>

#include <cstdlib>

namespace {

std::string CanonicalPath(const std::string& device)
{
#if defined(_WIN32)
    return device;
#else
    char* real = ::realpath(device.c_str(), nullptr);
    if (!real)
        return device;
    std::string out = real;
    std::free(real);
    return out;
#endif
}

} // namespace

TComPortLock::TComPortLock(const std::string& device)
    : fLock(std::make_unique<QLockFile>(QString::fromStdString(LockFileName(device))))
{
    fLock->setStaleLockTime(0); // only a dead holder makes a lock stale, never its age
}

TComPortLock::~TComPortLock() = default;

std::string TComPortLock::LockFileName(const std::string& device)
{
    // Letters, digits, "." and "-" stay; every other byte is written as "_" and its hex code,
    // so two paths never share a file ("/dev/ttyUSB0" -> "_2Fdev_2FttyUSB0").
    std::string name;
    for (const unsigned char c : CanonicalPath(device)) {
        if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' || c == '-')
            name += static_cast<char>(c);
        else
            name += CvFormat("_%.2X", static_cast<unsigned>(c));
    }
    return QDir(QDir::tempPath()).filePath(QString::fromStdString("quorvan-port-" + name + ".lock")).toStdString();
}

bool TComPortLock::TryLock()
{
    return fLock->isLocked() || fLock->tryLock(0);
}

std::string TComPortLock::Holder() const
{
    qint64 pid = 0;
    QString host;
    QString program;
    if (!fLock->getLockInfo(&pid, &host, &program) || pid <= 0)
        return "another process";
    return CvFormat("%s (process %d)", program.isEmpty() ? std::string("a program") : program.toStdString(),
                    static_cast<int64_t>(pid));
}
