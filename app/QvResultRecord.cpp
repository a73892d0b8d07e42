#include "app/QvResultRecord.h"

#include "framework/CvFormat.h"

#include <algorithm>
#include <ctime>

namespace {

std::string Checksum(uint32_t value)
{
    return QvJsonString(CvFormat("0x%.8x", value));
}

template <typename T>
std::string OrNull(const std::optional<T>& value, std::string (*text)(T))
{
    return value ? text(*value) : "null";
}

std::string Number(uint64_t value)
{
    return std::to_string(value);
}

} // namespace

std::string QvJsonString(const std::string& text)
{
    std::string out = "\"";
    for (const char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            // Other control characters as escapes; UTF-8 bytes pass as they are.
            if (c < 0x20)
                out += CvFormat("\\u%.4x", static_cast<unsigned>(c));
            else
                out += ch;
        }
    }
    return out + "\"";
}

std::string QvIsoTime(TQvWallTime time)
{
    using namespace std::chrono;
    const auto ms = duration_cast<milliseconds>(time.time_since_epoch()).count();
    std::time_t seconds = static_cast<std::time_t>(ms / 1000);
    int milli = static_cast<int>(ms % 1000);
    if (milli < 0) {
        milli += 1000;
        --seconds;
    }
    std::tm local{};
    localtime_r(&seconds, &local);
    const long offset = local.tm_gmtoff / 60; // minutes east of UTC
    const long absOffset = offset < 0 ? -offset : offset;
    return CvFormat("%.4d-%.2d-%.2dT%.2d:%.2d:%.2d.%.3d%s%.2d:%.2d", local.tm_year + 1900, local.tm_mon + 1,
                    local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec, milli, std::string(offset < 0 ? "-" : "+"),
                    static_cast<int>(absOffset / 60), static_cast<int>(absOffset % 60));
}

std::string QvResultRecordJson(const TQvResultRecord& r)
{
    const bool program = r.Operation == "program";
    const double seconds = std::max(0.0, std::chrono::duration<double>(r.Finished - r.Started).count());
    std::string rate = "null";
    if (program && r.Bytes)
        rate = seconds > 0 ? CvFormat("%.0f", static_cast<double>(*r.Bytes) / seconds) : "0";

    std::string json = "{";
    auto field = [&json](const char* name, const std::string& value) {
        if (json.size() > 1)
            json += ",";
        json += QvJsonString(name) + ":" + value;
    };
    field("port", QvJsonString(r.Port));
    field("operation", QvJsonString(r.Operation));
    field("result", QvJsonString(r.Ok ? "ok" : "failed"));
    field("error", r.Error.empty() ? "null" : QvJsonString(r.Error));
    field("started", QvJsonString(QvIsoTime(r.Started)));
    field("finished", QvJsonString(QvIsoTime(r.Finished)));
    field("seconds", CvFormat("%.3f", seconds));
    field("package", program ? QvJsonString(r.Package) : "null");
    field("package_checksum", program ? OrNull(r.PackageChecksum, &Checksum) : "null");
    field("bytes", program ? OrNull(r.Bytes, &Number) : "null");
    field("bytes_per_second", rate);
    if (r.Identity) {
        // Read by value: the records are packed.
        const TQvCmdInfoHardware hw = r.Identity->Hardware;
        const TQvCmdInfoFirmware app = r.Identity->App;
        const TQvCmdInfoFirmwareVersion version = app.Version;
        field("serial_number", Number(hw.SerialNumber));
        field("part_number", Number(hw.PartNumber));
        field("revision", Number(hw.PartRevision));
        field("app_version", QvJsonString(CvFormat("v%u.%u.%u", static_cast<unsigned>(version.Major),
                                                   static_cast<unsigned>(version.Minor),
                                                   static_cast<unsigned>(version.Build))));
        field("app_valid", app.Valid ? "true" : "false");
        field("app_checksum", Checksum(app.Checksum));
    } else {
        for (const char* name : {"serial_number", "part_number", "revision", "app_version", "app_valid", "app_checksum"})
            field(name, "null");
    }
    return json + "}";
}
