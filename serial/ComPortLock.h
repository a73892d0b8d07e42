// TComPortLock: the advisory lock that keeps a serial port to one process at a time. The lock
// is a file named after the device's canonical path in the temporary folder, holding the
// owner's process id and program name, so a refused process can say who holds the port. A lock
// left by a process that died is taken over.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

class QLockFile;

class TComPortLock {
public:
    // `device`: the port's device path; links are followed to the device itself.
    explicit TComPortLock(const std::string& device);
    // Lets the lock go when held.
    ~TComPortLock();
    TComPortLock(const TComPortLock&) = delete;
    TComPortLock& operator=(const TComPortLock&) = delete;

    // Takes the lock; false when another process, or another port of this one, holds it.
    bool TryLock();
    // After a refused TryLock: "<program> (process <pid>)", or "another process" when the lock
    // file does not say.
    std::string Holder() const;
    // The lock file of a device path (its canonical path, made a file name).
    static std::string LockFileName(const std::string& device);

private:
    std::unique_ptr<QLockFile> fLock;
};
