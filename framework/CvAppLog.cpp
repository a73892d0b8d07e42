#include "framework/CvAppLog.h"

#include "framework/CvFileLock.h"
#include "framework/CvFiles.h"
#include "framework/CvText.h"

#include <algorithm>
#include <limits>
#include <vector>

TCvAppLog* AppLog = nullptr;

namespace {
const char* const kEol = "\r\n";
const std::string kRule(80, '=');

// Keeps valid UTF-8 and turns every byte that starts no valid sequence into "?", so the file
// always holds text that reads back the same.
std::string ValidUtf8(const std::string& text)
{
    std::string out;
    out.reserve(text.size());
    size_t i = 0;
    while (i < text.size()) {
        const auto b = static_cast<unsigned char>(text[i]);
        size_t len = b < 0x80 ? 1 : (b >> 5) == 0x6 ? 2 : (b >> 4) == 0xE ? 3 : (b >> 3) == 0x1E ? 4 : 0;
        bool ok = len > 0 && i + len <= text.size();
        uint32_t cp = len == 1 ? b : len == 2 ? (b & 0x1F) : len == 3 ? (b & 0x0F) : (b & 0x07);
        for (size_t k = 1; ok && k < len; ++k) {
            const auto c = static_cast<unsigned char>(text[i + k]);
            ok = (c & 0xC0) == 0x80;
            cp = (cp << 6) | (c & 0x3F);
        }
        // Overlong forms, surrogates and values past U+10FFFF are no valid text either.
        if (ok && ((len == 2 && cp < 0x80) || (len == 3 && cp < 0x800) || (len == 4 && cp < 0x10000)
                   || (cp >= 0xD800 && cp <= 0xDFFF) || cp > 0x10FFFF))
            ok = false;
        if (ok) {
            out.append(text, i, len);
            i += len;
        } else {
            out += '?';
            ++i;
        }
    }
    return out;
}

void AppendUtf8(std::string& out, uint32_t cp)
{
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

// File text to UTF-8: a UTF-8 byte-order mark is dropped, UTF-16 (either order) converted.
std::string DecodeFileText(const std::string& raw)
{
    if (raw.compare(0, 3, "\xEF\xBB\xBF") == 0)
        return raw.substr(3);
    const bool le = raw.compare(0, 2, "\xFF\xFE") == 0;
    const bool be = raw.compare(0, 2, "\xFE\xFF") == 0;
    if (!le && !be)
        return raw;
    std::string out;
    auto unit = [&](size_t i) {
        const auto a = static_cast<unsigned char>(raw[i]);
        const auto b = static_cast<unsigned char>(raw[i + 1]);
        return static_cast<uint32_t>(le ? (b << 8 | a) : (a << 8 | b));
    };
    for (size_t i = 2; i + 1 < raw.size(); i += 2) {
        uint32_t cp = unit(i);
        if (cp >= 0xD800 && cp < 0xDC00 && i + 3 < raw.size()) {
            const uint32_t low = unit(i + 2);
            if (low >= 0xDC00 && low < 0xE000) {
                cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
                i += 2;
            }
        }
        AppendUtf8(out, cp >= 0xD800 && cp < 0xE000 ? '?' : cp);
    }
    return out;
}

// Header values stay on their line, so the header's closing empty line stays the first one.
std::string OneLine(std::string text)
{
    std::replace(text.begin(), text.end(), '\r', ' ');
    std::replace(text.begin(), text.end(), '\n', ' ');
    return text;
}

// The body of a log file: its lines after the header's first empty line, trimmed.
std::vector<std::string> BodyLines(const std::string& raw)
{
    const std::string text = DecodeFileText(raw);
    std::vector<std::string> lines;
    bool inBody = false;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find('\n', pos);
        if (end == std::string::npos)
            end = text.size();
        std::string line = CvTrim(std::string_view(text).substr(pos, end - pos));
        pos = end + 1;
        if (inBody)
            lines.push_back(std::move(line));
        else if (line.empty())
            inBody = true; // the header ends with its first empty line
    }
    return lines;
}

std::string SecondsText(const TCvDateTime& t)
{
    return CvDateTimeText(t).substr(0, 19); // "yyyy-mm-dd hh:nn:ss"
}
} // namespace

TCvAppLog::TCvAppLog(const std::string& fileName)
{
    fAutoSaveTimer.SetOnTimer(TCvEvent<TCvTimerParams>(this, &TCvAppLog::AutoSaveTimerTick));
    fFileName = fileName.empty() ? TCvApp::GetAppFileName(".log") : fileName;
    fAppExePath = TCvApp::GetAppExePath();
    fAppStarted = CvNow();
    fAppInfo = TCvApp::GetAppInfo();
    fAppVersion = fAppInfo.FileVersion;
    fAppParams = TCvApp::GetCmdParams();
    fAppTitle = TCvApp::AppTitle();
    fAppUserPath = TCvApp::GetUserPath("");

    fAutoSaveEntryCount = 0;
    SetEnabled(true);
    SetEntries(2000);
    SetAutoSaveEntries(0);
    SetAutoSaveInterval(15);
    SetAutoSave(true);

    for (const TCvAppCmdLineParam& p : fAppParams) {
        const std::string name = CvUpperCase(p.Switch);
        if (name == "LOG") {
            const std::string value = CvUpperCase(p.Value);
            if (value == "ON")
                SetEnabled(true);
            else if (value == "OFF")
                SetEnabled(false);
        } else if (name == "LOGAUTOSAVE") {
            const int32_t n = CvStrToIntDef(p.Value, fAutoSaveInterval);
            SetAutoSaveInterval(n);
            SetAutoSave(n > 0);
        } else if (name == "LOGENTRIES") {
            SetEntries(CvStrToIntDef(p.Value, fEntries));
        }
    }

    Load();
    if (!fLog.empty())
        AddLine(""); // between the previous runs and this one
    Add(logInfo, "Application \"%s\" starting (v%s).", fAppTitle, fAppVersion);
    for (size_t i = 1; i < fAppParams.size(); ++i)
        Add(logInfo, "Application command line param %d = \"%s.\"", static_cast<int>(i), fAppParams[i].Param);
    if (fAutoSave)
        Add(logInfo, "Application log autosave enabled for %d minute intervals.", fAutoSaveInterval);
    Save();
    fAutoSaveEntryCount = 0;
    SetAutoSaveEntries(100);
}

TCvAppLog::~TCvAppLog()
{
    fAutoSaveTimer.Stop();
    try {
        SetEnabled(true);
        Add("Application closing down.");
    } catch (...) {
        // A subscriber's failure must not stop the final save.
    }
    fAutoSaveTimer.Stop();
    Save();
}

std::string TCvAppLog::MsgTypeStr(TCvAppLogMsgType type)
{
    switch (type) {
    case logInfo:
        return "INFO";
    case logWarning:
        return "WARNING";
    case logError:
        return "ERROR";
    }
    return "UNKNOWN";
}

void TCvAppLog::Add(const std::string& msg)
{
    Add(logInfo, msg);
}

void TCvAppLog::Add(TCvAppLogMsgType type, const std::string& msg)
{
    ++fMsgLastId;
    const TCvDateTime now = CvNow();
    TCvAppLogAddParams params;
    params.MsgId = fMsgLastId;
    params.Timestamp = CvDateTimeToSerial(now);
    params.MsgType = type;
    params.MsgTypeStr = MsgTypeStr(type);
    std::string text = msg;
    std::replace(text.begin(), text.end(), '"', '\'');
    params.Msg = ValidUtf8(text);
    AddLine(CvFormat("%s,%s,%s,\"%s\"", std::to_string(params.MsgId), CvDateTimeText(now), params.MsgTypeStr,
                     params.Msg));
    if (fOnAdd) {
        const TCvAppLogAddEvent handler = fOnAdd; // a handler may replace itself
        handler(params);
    }
}

void TCvAppLog::AddException(const std::exception& e, bool recurse, bool stack)
{
    AddException(logWarning, std::string(), e, recurse, stack);
}

void TCvAppLog::AddException(const std::string& msg, const std::exception& e, bool recurse, bool stack)
{
    AddException(logWarning, msg, e, recurse, stack);
}

void TCvAppLog::AddException(TCvAppLogMsgType type, const std::exception& e, bool recurse, bool stack)
{
    AddException(type, std::string(), e, recurse, stack);
}

void TCvAppLog::AddException(TCvAppLogMsgType type, const std::string& msg, const std::exception& e, bool recurse,
                             bool stack)
{
    CvLogException(*this, type, msg, e, recurse, stack);
}

void TCvAppLog::AddLine(const std::string& line)
{
    fLog.push_back(line);
    if (!fLoading)
        ++fPending;
    fLogModified = true;
    TrimToEntries();
    if (fAutoSaveEntries > 0) {
        if (!fLoading && ++fAutoSaveEntryCount >= fAutoSaveEntries) {
            fAutoSaveEntryCount = 0;
            Save();
            fLogModified = false;
        }
    } else {
        fAutoSaveEntryCount = 0;
    }
}

void TCvAppLog::TrimToEntries()
{
    if (fEntries > 0)
        while (fLog.size() > static_cast<size_t>(fEntries))
            fLog.pop_front();
    fPending = std::min(fPending, fLog.size());
}

bool TCvAppLog::Load()
{
    fLog.clear();
    fPending = 0;
    fMsgLastId = 0;
    if (!CvFileExists(fFileName))
        return false;
    std::string raw;
    if (!CvReadFile(fFileName, raw))
        return false;
    fLoading = true;
    for (const std::string& line : BodyLines(raw))
        AddLine(line);
    fLoading = false;
    fPending = 0;
    if (!fLog.empty()) {
        const std::string& last = fLog.back();
        const size_t comma = last.find(',');
        if (comma != std::string::npos) {
            // A decimal entry number; anything else restarts the numbering.
            const std::string number = last.substr(0, comma);
            int32_t id = 0;
            const bool digits = !number.empty() && std::all_of(number.begin(), number.end(), [](char c) {
                return c >= '0' && c <= '9';
            });
            fMsgLastId = digits && CvTryStrToInt(number, id) ? id : 0;
        }
    }
    return true;
}

std::string TCvAppLog::HeaderText(size_t entries) const
{
    std::string h;
    auto line = [&h](const std::string& text) {
        h += text;
        h += kEol;
    };
    line(kRule);
    line(CvUpperCase(OneLine(fAppTitle + " Application Log")));
    line(kRule);
    line("App Path        : " + OneLine(fAppExePath));
    line("App Started     : " + SecondsText(fAppStarted));
    line("App Version     : v" + OneLine(fAppVersion));
    line("App Cmd Line    : " + std::to_string(fAppParams.size()));
    for (size_t i = 0; i < fAppParams.size(); ++i)
        line("    Param[" + std::to_string(i) + "] = \"" + OneLine(fAppParams[i].Param) + "\"");
    line("User Path       : " + OneLine(fAppUserPath));
    line("App Log Saved   : " + SecondsText(CvNow()));
    line("App Log Entries : " + std::to_string(entries) + " (of max " + std::to_string(fEntries) + ")");
    line(kRule);
    line("");
    return h;
}

bool TCvAppLog::Save()
{
    if (!fEnabled)
        return true;
    // Other processes may share the file (headless runs side by side, beside the desktop
    // program): under the file's lock, the lines saved so far are those the file holds now, and
    // this log's unsaved lines go after them. A file that cannot be read takes the lines this
    // log remembers, as a rewrite always did.
    const TCvFileLock lock(fFileName + ".lock");
    std::deque<std::string> body;
    std::string raw;
    if (CvFileExists(fFileName) && CvReadFile(fFileName, raw)) {
        const std::vector<std::string> saved = BodyLines(raw);
        body.assign(saved.begin(), saved.end());
    } else {
        body.assign(fLog.begin(), fLog.end() - static_cast<std::ptrdiff_t>(fPending));
    }
    body.insert(body.end(), fLog.end() - static_cast<std::ptrdiff_t>(fPending), fLog.end());
    if (fEntries > 0)
        while (body.size() > static_cast<size_t>(fEntries))
            body.pop_front();

    std::string content = HeaderText(body.size());
    size_t size = content.size();
    for (const std::string& l : body)
        size += l.size() + 2;
    content.reserve(size);
    for (const std::string& l : body) {
        content += l;
        content += kEol;
    }
    if (!CvWriteFileAtomic(fFileName, content))
        return false;
    fLog = std::move(body);
    fPending = 0;
    fLogModified = false;
    return true;
}

void TCvAppLog::AutoSaveTimerTick(TCvTimerParams&)
{
    Add(logInfo, "Autosaving application log (at %d minute intervals).", fAutoSaveInterval);
    if (fLogModified)
        Save();
    fAutoSaveEntryCount = 0;
    fAutoSaveTimer.Stop();
    if (fAutoSave)
        fAutoSaveTimer.Start();
}

void TCvAppLog::SetEnabled(bool value)
{
    fEnabled = value;
    fAutoSaveTimer.Stop();
    if (fEnabled && fAutoSave)
        fAutoSaveTimer.Start();
}

void TCvAppLog::SetAutoSave(bool value)
{
    fAutoSave = value;
    fAutoSaveTimer.SetEnabled(value);
}

void TCvAppLog::SetAutoSaveInterval(int32_t value)
{
    fAutoSaveInterval = value < 2 ? 1 : value;
    fAutoSaveTimer.Stop();
    // The period follows the value given: one below 1 gives a timer that never fires.
    const int64_t ms = value > 0 ? static_cast<int64_t>(value) * 60000 : 0;
    fAutoSaveTimer.SetInterval(static_cast<uint32_t>(std::min<int64_t>(ms, std::numeric_limits<uint32_t>::max())));
    if (fAutoSave)
        fAutoSaveTimer.Start();
}

void TCvAppLog::SetAutoSaveEntries(int32_t value)
{
    if (value <= 0) {
        fAutoSaveEntries = 0;
        fAutoSaveEntryCount = 0;
        return;
    }
    fAutoSaveEntries = value;
    if (fAutoSaveEntryCount >= value) {
        fAutoSaveEntryCount = 0;
        fLogModified = false;
        Save();
    }
}

void TCvAppLog::SetEntries(int32_t value)
{
    fEntries = std::clamp<int32_t>(value, 0, MaxEntries);
    TrimToEntries();
}
