// TCvFileLock: an exclusive advisory lock between processes, held for the lifetime of the
// object, on a lock file that is created when missing and never removed. Processes that share
// a file (the application log) take it around each read-and-rewrite so none of them loses
// another's lines. The wait is that of the holder's rewrite, a few milliseconds.
#pragma once

#include <string>

class TCvFileLock {
public:
    explicit TCvFileLock(const std::string& path);
    ~TCvFileLock();
    TCvFileLock(const TCvFileLock&) = delete;
    TCvFileLock& operator=(const TCvFileLock&) = delete;

    // False when the lock file could not be opened or locked (a read-only folder): the caller
    // goes on unprotected, as it would without other processes.
    bool Locked() const { return fFd >= 0; }

private:
    int fFd = -1;
};
