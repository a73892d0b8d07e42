#include "framework/CvFileLock.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

TCvFileLock::TCvFileLock(const std::string& path)
{
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0)
        return;
    int rc;
    do {
        rc = ::flock(fd, LOCK_EX);
    } while (rc != 0 && errno == EINTR);
    if (rc != 0) {
        ::close(fd);
        return;
    }
    fFd = fd;
}

TCvFileLock::~TCvFileLock()
{
    if (fFd >= 0)
        ::close(fFd); // closing lets the lock go
}
