#include "framework/CvIniFile.h"

#include "framework/CvFiles.h"
#include "framework/CvFormat.h"
#include "framework/CvText.h"

#include <sys/stat.h>

namespace {
enum TLineKind : uint8_t { lkBlank, lkComment, lkSection, lkKey, lkOther };

struct TLine {
    TLineKind Kind = lkOther;
    std::string Name;  // section or key name, trimmed
    std::string Value; // raw value text, trimmed (keys only)
};

const char* const kBom = "\xEF\xBB\xBF";

bool IsBlank(char c)
{
    return static_cast<unsigned char>(c) <= 0x20;
}

bool IsQuote(char c)
{
    return c == '"' || c == '\'';
}

TLine ParseLine(const std::string& raw)
{
    TLine line;
    const std::string text = CvTrim(raw);
    if (text.empty()) {
        line.Kind = lkBlank;
    } else if (text[0] == ';' || text[0] == '#') {
        line.Kind = lkComment;
    } else if (text[0] == '[') {
        const size_t close = text.find(']');
        line.Kind = lkSection;
        line.Name = CvTrim(std::string_view(text).substr(1, close == std::string::npos ? std::string::npos : close - 1));
    } else {
        const size_t eq = text.find('=');
        if (eq != std::string::npos) {
            line.Name = CvTrim(std::string_view(text).substr(0, eq));
            line.Value = CvTrim(std::string_view(text).substr(eq + 1));
            line.Kind = line.Name.empty() ? lkOther : lkKey;
        }
    }
    return line;
}

// Blanks at either end or enclosing quotes would be lost on reading: keep them inside quotes.
std::string EncodeValue(const std::string& value)
{
    if (value.empty())
        return value;
    const bool enclosed = value.size() >= 2 && IsQuote(value.front()) && value.front() == value.back();
    if (IsBlank(value.front()) || IsBlank(value.back()) || enclosed)
        return "\"" + value + "\"";
    return value;
}

std::string DecodeValue(const std::string& raw)
{
    std::string value = raw;
    if (value.size() >= 2 && IsQuote(value.front()) && value.front() == value.back())
        value = value.substr(1, value.size() - 2);
    // Cut after MaxStringLength characters, never inside a UTF-8 sequence.
    size_t chars = 0;
    for (size_t i = 0; i < value.size(); ++i) {
        if ((static_cast<unsigned char>(value[i]) & 0xC0) != 0x80 && ++chars > TCvIniFile::MaxStringLength) {
            value.resize(i);
            break;
        }
    }
    return value;
}

bool HasLineBreak(const std::string& text)
{
    return text.find_first_of(std::string("\r\n\0", 3)) != std::string::npos;
}

} // namespace

TCvIniFile::TCvIniFile(std::string fileName)
    : fFileName(std::move(fileName))
{
}

TCvIniFile::TFileStamp TCvIniFile::StampOf(const std::string& fileName)
{
    TFileStamp stamp;
    struct stat st {};
    if (::stat(fileName.c_str(), &st) != 0)
        return stamp;
    stamp.Exists = true;
    stamp.Dev = st.st_dev;
    stamp.Ino = st.st_ino;
    stamp.Size = st.st_size;
    stamp.MTimeNs = static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    return stamp;
}

// Re-reads the file when it changed since it was last read or written here, so several
// objects (or programs) on one file see each other's writes.
void TCvIniFile::Refresh()
{
    const TFileStamp stamp = StampOf(fFileName);
    if (fLoaded && stamp == fStamp)
        return;
    fLoaded = true;
    fStamp = stamp;
    fLines.clear();
    fEol = "\r\n";
    fBom = false;
    fUnreadable = false;
    if (!stamp.Exists)
        return;
    std::string content;
    if (!CvReadFile(fFileName, content)) {
        fUnreadable = true;
        return;
    }
    size_t pos = 0;
    if (content.compare(0, 3, kBom) == 0) {
        fBom = true;
        pos = 3;
    }
    const size_t firstBreak = content.find('\n', pos);
    if (firstBreak != std::string::npos)
        fEol = (firstBreak > pos && content[firstBreak - 1] == '\r') ? "\r\n" : "\n";
    while (pos < content.size()) {
        size_t end = content.find('\n', pos);
        if (end == std::string::npos)
            end = content.size();
        std::string line = content.substr(pos, end - pos);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        fLines.push_back(std::move(line));
        pos = end + 1;
    }
}

std::vector<size_t> TCvIniFile::SectionStarts(const std::string& section) const
{
    std::vector<size_t> starts;
    const std::string name = CvTrim(section);
    for (size_t i = 0; i < fLines.size(); ++i) {
        const TLine line = ParseLine(fLines[i]);
        if (line.Kind == lkSection && CvSameText(line.Name, name))
            starts.push_back(i);
    }
    return starts;
}

size_t TCvIniFile::BlockEnd(size_t start) const
{
    size_t i = start + 1;
    while (i < fLines.size() && ParseLine(fLines[i]).Kind != lkSection)
        ++i;
    return i;
}

bool TCvIniFile::FindKey(const std::string& section, const std::string& key, size_t& index, std::string& value)
{
    Refresh();
    const std::string name = CvTrim(key);
    for (size_t start : SectionStarts(section)) {
        const size_t end = BlockEnd(start);
        for (size_t i = start + 1; i < end; ++i) {
            const TLine line = ParseLine(fLines[i]);
            if (line.Kind == lkKey && CvSameText(line.Name, name)) {
                index = i;
                value = line.Value;
                return true;
            }
        }
    }
    return false;
}

void TCvIniFile::Commit(std::vector<std::string> lines)
{
    if (fUnreadable)
        throw ECvIniError(CvFormat("Unable to write to %s", fFileName));
    std::string content;
    if (fBom)
        content = kBom;
    for (const std::string& line : lines) {
        content += line;
        content += fEol;
    }
    if (!CvWriteFileAtomic(fFileName, content))
        throw ECvIniError(CvFormat("Unable to write to %s", fFileName));
    fLines = std::move(lines);
    fStamp = StampOf(fFileName);
}

void TCvIniFile::Refuse(const std::string& what) const
{
    throw ECvIniError(CvFormat("Unable to write to %s: %s", fFileName, what));
}

std::string TCvIniFile::ReadString(const std::string& section, const std::string& key, const std::string& def)
{
    size_t index = 0;
    std::string value;
    return FindKey(section, key, index, value) ? DecodeValue(value) : def;
}

int32_t TCvIniFile::ReadInteger(const std::string& section, const std::string& key, int32_t def)
{
    int32_t value = def;
    return CvTryStrToInt(ReadString(section, key, ""), value) ? value : def;
}

bool TCvIniFile::ReadBool(const std::string& section, const std::string& key, bool def)
{
    return ReadInteger(section, key, def ? 1 : 0) != 0;
}

void TCvIniFile::WriteString(const std::string& section, const std::string& key, const std::string& value)
{
    const std::string secName = CvTrim(section);
    const std::string keyName = CvTrim(key);
    if (secName.empty() || HasLineBreak(secName) || secName.find(']') != std::string::npos)
        Refuse(CvFormat("\"%s\" is no valid section name", section));
    if (keyName.empty() || HasLineBreak(keyName) || keyName.find('=') != std::string::npos || keyName[0] == '['
        || keyName[0] == ';' || keyName[0] == '#')
        Refuse(CvFormat("\"%s\" is no valid key name", key));
    if (HasLineBreak(value))
        Refuse(CvFormat("the value of \"%s\" holds a line break", keyName));

    const std::string encoded = EncodeValue(value);
    size_t index = 0;
    std::string old;
    if (FindKey(secName, keyName, index, old)) {
        // Keep the line's own spelling and spacing up to the value.
        const std::string& line = fLines[index];
        size_t p = line.find('=') + 1;
        while (p < line.size() && (line[p] == ' ' || line[p] == '\t'))
            ++p;
        std::string replaced = line.substr(0, p) + encoded;
        if (replaced == line)
            return;
        std::vector<std::string> lines = fLines;
        lines[index] = std::move(replaced);
        Commit(std::move(lines));
        return;
    }
    std::vector<std::string> lines = fLines;
    const std::vector<size_t> starts = SectionStarts(secName);
    if (starts.empty()) {
        if (!lines.empty() && !CvTrim(lines.back()).empty())
            lines.emplace_back();
        lines.push_back("[" + secName + "]");
        lines.push_back(keyName + "=" + encoded);
    } else {
        // After the last entry of the section's first block, before blank lines and comments
        // that lead into the next section.
        size_t pos = starts.front() + 1;
        const size_t end = BlockEnd(starts.front());
        for (size_t i = pos; i < end; ++i) {
            const TLineKind kind = ParseLine(fLines[i]).Kind;
            if (kind == lkKey || kind == lkOther)
                pos = i + 1;
        }
        lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(pos), keyName + "=" + encoded);
    }
    Commit(std::move(lines));
}

void TCvIniFile::WriteInteger(const std::string& section, const std::string& key, int32_t value)
{
    WriteString(section, key, std::to_string(value));
}

void TCvIniFile::WriteBool(const std::string& section, const std::string& key, bool value)
{
    WriteString(section, key, value ? "1" : "0");
}

void TCvIniFile::EraseSection(const std::string& section)
{
    Refresh();
    const std::vector<size_t> starts = SectionStarts(section);
    if (starts.empty())
        return;
    std::vector<bool> drop(fLines.size(), false);
    for (size_t start : starts) {
        const size_t end = BlockEnd(start);
        size_t cut = end;
        if (end < fLines.size()) {
            // Comments directly above the next section describe it: they stay, with any
            // blank lines between them and that section.
            size_t i = end;
            while (i > start + 1 && ParseLine(fLines[i - 1]).Kind <= lkComment) {
                --i;
                if (ParseLine(fLines[i]).Kind == lkComment)
                    cut = i;
            }
        }
        for (size_t i = start; i < cut; ++i)
            drop[i] = true;
    }
    std::vector<std::string> lines;
    for (size_t i = 0; i < fLines.size(); ++i)
        if (!drop[i])
            lines.push_back(fLines[i]);
    Commit(std::move(lines));
}

void TCvIniFile::DeleteKey(const std::string& section, const std::string& key)
{
    Refresh();
    const std::string name = CvTrim(key);
    std::vector<bool> drop(fLines.size(), false);
    bool found = false;
    for (size_t start : SectionStarts(section)) {
        const size_t end = BlockEnd(start);
        for (size_t i = start + 1; i < end; ++i) {
            const TLine line = ParseLine(fLines[i]);
            if (line.Kind == lkKey && CvSameText(line.Name, name))
                drop[i] = found = true;
        }
    }
    if (!found)
        return;
    std::vector<std::string> lines;
    for (size_t i = 0; i < fLines.size(); ++i)
        if (!drop[i])
            lines.push_back(fLines[i]);
    Commit(std::move(lines));
}

bool TCvIniFile::SectionExists(const std::string& section)
{
    Refresh();
    return !SectionStarts(section).empty();
}

bool TCvIniFile::ValueExists(const std::string& section, const std::string& key)
{
    size_t index = 0;
    std::string value;
    return FindKey(section, key, index, value);
}

std::vector<std::string> TCvIniFile::ReadSection(const std::string& section)
{
    Refresh();
    std::vector<std::string> keys;
    for (size_t start : SectionStarts(section)) {
        const size_t end = BlockEnd(start);
        for (size_t i = start + 1; i < end; ++i) {
            TLine line = ParseLine(fLines[i]);
            if (line.Kind == lkKey && CvIndexText(line.Name, keys) < 0)
                keys.push_back(std::move(line.Name));
        }
    }
    return keys;
}

std::vector<std::string> TCvIniFile::ReadSections()
{
    Refresh();
    std::vector<std::string> sections;
    for (const std::string& raw : fLines) {
        TLine line = ParseLine(raw);
        if (line.Kind == lkSection && CvIndexText(line.Name, sections) < 0)
            sections.push_back(std::move(line.Name));
    }
    return sections;
}
