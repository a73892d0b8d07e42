#include "framework/CvFiles.h"

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {
const char kDelimiter = '/';

// A name for the temporary copy that no other writer (thread or process) picks as well.
std::string TempNameFor(const std::string& path)
{
    static std::atomic<unsigned> counter{0};
    return path + ".tmp" + std::to_string(::getpid()) + "_" + std::to_string(counter++);
}

// The file a symbolic link points at, so the rename replaces the target and keeps the link.
std::string ResolveTarget(const std::string& path)
{
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode))
        return path;
    char resolved[PATH_MAX];
    if (::realpath(path.c_str(), resolved) == nullptr)
        return path;
    return resolved;
}

bool WriteAll(int fd, std::string_view content)
{
    const char* p = content.data();
    size_t left = content.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, p, left);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        p += n;
        left -= static_cast<size_t>(n);
    }
    return true;
}
} // namespace

bool CvFileExists(const std::string& path)
{
    struct stat st {};
    return !path.empty() && ::stat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

bool CvDirectoryExists(const std::string& path)
{
    struct stat st {};
    return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool CvDirectoryWritable(const std::string& path)
{
    return CvDirectoryExists(path) && ::access(path.c_str(), W_OK | X_OK) == 0;
}

std::string CvExtractFilePath(std::string_view path)
{
    const size_t pos = path.rfind(kDelimiter);
    return pos == std::string_view::npos ? std::string() : std::string(path.substr(0, pos + 1));
}

std::string CvExtractFileName(std::string_view path)
{
    const size_t pos = path.rfind(kDelimiter);
    return std::string(pos == std::string_view::npos ? path : path.substr(pos + 1));
}

std::string CvChangeFileExt(std::string_view path, std::string_view ext)
{
    const size_t slash = path.rfind(kDelimiter);
    const size_t nameStart = slash == std::string_view::npos ? 0 : slash + 1;
    const size_t dot = path.rfind('.');
    // A leading dot names a hidden file rather than starting an extension.
    const size_t end = (dot != std::string_view::npos && dot > nameStart) ? dot : path.size();
    return std::string(path.substr(0, end)) + std::string(ext);
}

std::string CvIncludeTrailingPathDelimiter(std::string_view path)
{
    if (path.empty() || path.back() == kDelimiter)
        return std::string(path);
    return std::string(path) + kDelimiter;
}

bool CvReadFile(const std::string& path, std::string& content)
{
    content.clear();
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f)
        return false;
    char buffer[65536];
    bool ok = true;
    for (;;) {
        const size_t n = std::fread(buffer, 1, sizeof(buffer), f);
        content.append(buffer, n);
        if (n < sizeof(buffer)) {
            ok = std::ferror(f) == 0;
            break;
        }
    }
    std::fclose(f);
    return ok;
}

bool CvWriteFileAtomic(const std::string& path, std::string_view content)
{
    if (path.empty())
        return false;
    const std::string target = ResolveTarget(path);
    const std::string temp = TempNameFor(target);
    const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0)
        return false;
    bool ok = WriteAll(fd, content);
    struct stat st {};
    if (ok && ::stat(target.c_str(), &st) == 0)
        (void)::fchmod(fd, st.st_mode & 07777); // best effort: another owner's mode may not carry over
    ok = (::close(fd) == 0) && ok;
    if (ok)
        ok = ::rename(temp.c_str(), target.c_str()) == 0;
    if (!ok)
        ::unlink(temp.c_str());
    return ok;
}
