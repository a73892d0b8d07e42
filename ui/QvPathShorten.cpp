#include "ui/QvPathShorten.h"

char TQvPathShorten::Separator()
{
#ifdef _WIN32
    return '\\';
#else
    return '/';
#endif
}

std::string TQvPathShorten::Shorten(const std::string& path, int maxWidth,
                                    const std::function<int(const std::string&)>& textWidth, char separator)
{
    const std::string sep(1, separator);
    const std::string ellipsis = "..." + sep;

    std::string drive;
    std::string rest = path;
    if (rest.size() >= 2 && rest[1] == ':') {
        drive = rest.substr(0, 2);
        rest.erase(0, 2);
    }
    const size_t lastSep = rest.rfind(separator);
    std::string folder = lastSep == std::string::npos ? std::string() : rest.substr(0, lastSep + 1);
    const std::string name = lastSep == std::string::npos ? rest : rest.substr(lastSep + 1);

    std::string text = path;
    while (textWidth(text) > maxWidth && (!drive.empty() || !folder.empty())) {
        if (folder == sep + ellipsis) {
            drive.clear();
            folder = ellipsis;
        } else if (folder.empty()) {
            drive.clear();
        } else if (folder == sep) {
            folder.clear();
        } else {
            std::string lead;
            if (folder.compare(0, sep.size(), sep) == 0) {
                lead = sep;
                folder.erase(0, sep.size());
            }
            // Only the marker of an earlier pass is removed here, so a hidden folder such as
            // ".cfg" is dropped as one folder like any other.
            if (folder.compare(0, ellipsis.size(), ellipsis) == 0)
                folder.erase(0, ellipsis.size());
            const size_t next = folder.find(separator);
            folder = next == std::string::npos ? std::string() : ellipsis + folder.substr(next + 1);
            folder = lead + folder;
        }
        text = drive + folder + name;
    }
    return text;
}
