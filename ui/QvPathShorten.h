// Fits a full file path into a pixel width for display: leading folders give way to "..." one
// by one, then the drive, so the last folders and the file name stay readable. No Qt.
#pragma once

#include <functional>
#include <string>

class TQvPathShorten {
public:
    TQvPathShorten() = delete;

    // The platform's folder separator.
    static char Separator();

    // Shortens `path` until `textWidth(result)` is at most `maxWidth` or nothing is left to drop.
    // The drive (as "C:") and the folders go first; the file name itself is never shortened.
    static std::string Shorten(const std::string& path, int maxWidth,
                               const std::function<int(const std::string&)>& textWidth,
                               char separator = Separator());
};
