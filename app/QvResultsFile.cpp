#include "app/QvResultsFile.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>
#include <utility>

TQvResultsFile::TQvResultsFile(std::string fileName)
    : fFileName(std::move(fileName))
{
}

TQvResultsFile::~TQvResultsFile()
{
    if (fFd >= 0)
        ::close(fFd);
}

bool TQvResultsFile::Open(std::string& error)
{
    if (fFd >= 0)
        return true;
    fFd = ::open(fFileName.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fFd < 0) {
        error = std::strerror(errno);
        return false;
    }
    return true;
}

bool TQvResultsFile::Append(const TQvResultRecord& record, std::string& error)
{
    if (!Open(error))
        return false;
    const std::string line = QvResultRecordJson(record) + "\n";
    ssize_t written = 0;
    do
        written = ::write(fFd, line.data(), line.size());
    while (written < 0 && errno == EINTR);
    if (written < 0) {
        error = std::strerror(errno);
        return false;
    }
    if (static_cast<size_t>(written) != line.size()) {
        error = "the record was written only in part (disk full?)";
        return false;
    }
    ::fdatasync(fFd);
    return true;
}
