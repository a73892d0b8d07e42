// The result records file: JSON Lines, appended to, created when missing. Each record goes out
// whole in one write on a descriptor opened for appending, so a crash never leaves half a line
// and processes that share the file never interleave within a line.
#pragma once

#include "app/QvResultRecord.h"

#include <string>

class TQvResultsFile {
public:
    explicit TQvResultsFile(std::string fileName);
    ~TQvResultsFile();
    TQvResultsFile(const TQvResultsFile&) = delete;
    TQvResultsFile& operator=(const TQvResultsFile&) = delete;

    // Opens (creating) the file for appending; false with `error` set when it cannot be.
    bool Open(std::string& error);
    // Appends the record as one line and hands it to the disk; false with `error` set when the
    // write failed or came out short.
    bool Append(const TQvResultRecord& record, std::string& error);
    const std::string& FileName() const { return fFileName; }

private:
    std::string fFileName;
    int fFd = -1;
};
