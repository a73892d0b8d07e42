// INI files: read keys with defaults, write single keys in place, erase sections.
//
// A small engine of our own rather than SimpleIni: SimpleIni re-emits the whole file in its own
// layout (spacing around "=", blank lines, comments re-attached to entries), while every write
// here must leave each other line of the file (comments, unknown keys and sections, layout)
// exactly as it was. The engine keeps the file's lines and changes only the one line a write
// touches.
//
// Rules:
// - Section and key names match without regard to (ASCII) case; the first spelling in the file
//   is kept. Names and values are trimmed of blanks and control characters.
// - Reads return the default for a missing file, section or key; strings are read up to 2047
//   characters.
// - Integers are written in decimal and read as decimal or as hexadecimal with a "0x", "0X" or
//   "$" prefix; text that is no 32-bit number reads as the default. Booleans are written "1" or
//   "0" and read as integers, anything but 0 meaning true.
// - Each write rewrites the file at once, through a temporary file and a rename, so a failed
//   write leaves the old file whole. A failed write raises ECvIniError "Unable to write to %s".
// - A value written with blanks at its ends, or enclosed in quotes, is stored in double quotes
//   so that it reads back unchanged; one pair of enclosing quotes is removed when reading.
// - Names or values that would break the line structure (line breaks, "=" in a key, "]" in a
//   section name) are refused with ECvIniError and nothing is written.
// - Text is UTF-8; a byte-order mark and the file's line ending (CR LF for new files) are kept.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <sys/types.h>
#include <vector>

class ECvIniError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class TCvIniFile {
public:
    // The longest string a read returns, in characters.
    static constexpr size_t MaxStringLength = 2047;

    // Nothing is read or created until the first operation; a missing file reads as empty.
    explicit TCvIniFile(std::string fileName);

    const std::string& FileName() const { return fFileName; }

    std::string ReadString(const std::string& section, const std::string& key, const std::string& def);
    int32_t ReadInteger(const std::string& section, const std::string& key, int32_t def);
    bool ReadBool(const std::string& section, const std::string& key, bool def);

    void WriteString(const std::string& section, const std::string& key, const std::string& value);
    void WriteInteger(const std::string& section, const std::string& key, int32_t value);
    void WriteBool(const std::string& section, const std::string& key, bool value);

    // Removes the section's header and keys; comments just above the next section stay with it.
    void EraseSection(const std::string& section);
    void DeleteKey(const std::string& section, const std::string& key);

    bool SectionExists(const std::string& section);
    bool ValueExists(const std::string& section, const std::string& key);
    // Keys of a section in file order (each once), and the sections of the file (each once).
    std::vector<std::string> ReadSection(const std::string& section);
    std::vector<std::string> ReadSections();

private:
    struct TFileStamp {
        bool Exists = false;
        dev_t Dev = 0;
        ino_t Ino = 0;
        off_t Size = 0;
        int64_t MTimeNs = 0;
        bool operator==(const TFileStamp&) const = default;
    };

    static TFileStamp StampOf(const std::string& fileName);
    void Refresh();
    bool FindKey(const std::string& section, const std::string& key, size_t& line, std::string& value);
    // Index of each line that opens a block of the section, in file order.
    std::vector<size_t> SectionStarts(const std::string& section) const;
    size_t BlockEnd(size_t start) const;
    void Commit(std::vector<std::string> lines);
    [[noreturn]] void Refuse(const std::string& what) const;

    std::string fFileName;
    std::vector<std::string> fLines; // the file's lines without their line endings
    std::string fEol = "\r\n";
    bool fBom = false;
    bool fUnreadable = false; // the file exists but could not be read: never overwrite it
    TFileStamp fStamp;
    bool fLoaded = false;
};
