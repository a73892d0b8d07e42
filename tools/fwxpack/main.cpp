// quorvan-fwx-pack: makes a firmware package from a binary image.
#include "framework/CvClock.h"
#include "framework/CvFormat.h"
#include "framework/CvFoundation.h"
#include "tools/common/QvToolArgs.h"
#include "tools/fwxpack/QvFwxPack.h"

#include <cstdio>
#include <string>
#include <vector>

namespace {
const std::vector<TQvToolOption> kOptions = {
    {"help", false, "show this help"},
    {"output", true, "FILE: the package to write (required)"},
    {"block-size", true, "N: bytes per Data block (default 256)"},
    {"device", true, "N: target device number (default 0)"},
    {"name", true, "TEXT: target name (default: the image's file name)"},
    {"timestamp", true, "TEXT: build time text (default: now, yyyy-mm-dd hh:nn:ss)"},
    {"section", true, "N: firmware section (default 1, the application)"},
    {"part", true, "N: hardware part number the image is for (default: left out, any)"},
    {"rev-min", true, "N: lowest hardware revision (default: left out)"},
    {"rev-max", true, "N: highest hardware revision (default: left out)"},
    {"serial", true, "N: serial number the image is for (default: left out, any)"},
    {"data-format", true, "N: data format code (default 0)"},
    {"signature", true, "HEX: signature bytes as hex pairs (default: none)"},
    {"checksum", true, "HEX: write this checksum instead of the image's CRC-32"},
    {"length", true, "N: write this length instead of the image's"},
};

int Fail(const std::string& text)
{
    std::fprintf(stderr, "quorvan-fwx-pack: %s\n", text.c_str());
    return 2;
}

std::string BaseName(const std::string& path)
{
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}
} // namespace

int main(int argc, char** argv)
{
    std::vector<TQvToolArg> args;
    std::string error;
    if (!TQvToolArgs::Split(std::vector<std::string>(argv + 1, argv + argc), kOptions, args, error))
        return Fail(error + " (try --help)");

    TQvFwxPackOptions o;
    std::string input, output;
    bool nameGiven = false, timestampGiven = false;
    for (const TQvToolArg& a : args) {
        int64_t n = 0;
        uint64_t u = 0;
        auto integer = [&](int64_t min, int64_t max) {
            if (TQvToolArgs::ParseInt(a.Value, min, max, n))
                return true;
            error = CvFormat("--%s takes a number from %d to %d, not \"%s\"", a.Name, static_cast<long long>(min),
                             static_cast<long long>(max), a.Value);
            return false;
        };
        if (a.Name.empty()) {
            if (!input.empty())
                return Fail(CvFormat("unexpected argument \"%s\": one image only", a.Value));
            input = a.Value;
        } else if (a.Name == "help") {
            std::printf("Usage: quorvan-fwx-pack [options] --output PACKAGE.fwx IMAGE\n"
                        "Makes a firmware package from a binary image; the checksum is the CRC-32 (zlib)\n"
                        "of the whole image.\n\nOptions:\n%s",
                        TQvToolArgs::Usage(kOptions).c_str());
            return 0;
        } else if (a.Name == "output") {
            output = a.Value;
        } else if (a.Name == "block-size") {
            if (!integer(1, 0x7FFFFFFF))
                return Fail(error);
            o.BlockSize = static_cast<uint32_t>(n);
        } else if (a.Name == "device") {
            if (!integer(INT32_MIN, INT32_MAX))
                return Fail(error);
            o.Device = static_cast<int32_t>(n);
        } else if (a.Name == "section") {
            if (!integer(INT32_MIN, INT32_MAX))
                return Fail(error);
            o.Section = static_cast<int32_t>(n);
        } else if (a.Name == "name") {
            o.Name = a.Value;
            nameGiven = true;
        } else if (a.Name == "timestamp") {
            o.Timestamp = a.Value;
            timestampGiven = true;
        } else if (a.Name == "part" || a.Name == "rev-min" || a.Name == "rev-max" || a.Name == "serial") {
            if (!integer(INT32_MIN, UINT32_MAX))
                return Fail(error);
            (a.Name == "part" ? o.PartNumber : a.Name == "rev-min" ? o.PartRevMin
                                             : a.Name == "rev-max" ? o.PartRevMax : o.SerialNumber) = n;
        } else if (a.Name == "data-format") {
            if (!integer(0, 255))
                return Fail(error);
            o.DataFormat = static_cast<uint32_t>(n);
        } else if (a.Name == "signature") {
            std::string hex = a.Value;
            if (hex.size() > 2 && hex[0] == '0' && (hex[1] == 'x' || hex[1] == 'X'))
                hex.erase(0, 2);
            if (!TCvConvert::HexToBytes(hex, o.Signature))
                return Fail(CvFormat("--signature takes hex pairs, not \"%s\"", a.Value));
        } else if (a.Name == "checksum") {
            if (!TQvToolArgs::ParseHex(a.Value, 0xFFFFFFFFull, u))
                return Fail(CvFormat("--checksum takes up to 8 hex digits, not \"%s\"", a.Value));
            o.Checksum = static_cast<uint32_t>(u);
        } else if (a.Name == "length") {
            if (!integer(0, UINT32_MAX))
                return Fail(error);
            o.Length = static_cast<uint32_t>(n);
        }
    }
    if (input.empty() || output.empty())
        return Fail("needs an image and --output (try --help)");

    std::vector<uint8_t> image;
    if (!TQvFwxPack::ReadImage(input, image, error))
        return Fail(error);
    if (!nameGiven)
        o.Name = BaseName(input);
    if (!timestampGiven)
        o.Timestamp = CvDateTimeText(CvNow()).substr(0, 19);
    if (o.BlockSize > 65535)
        std::fprintf(stderr, "quorvan-fwx-pack: warning: blocks over 65535 bytes cannot be sent to a beacon\n");
    if (!o.Checksum && TQvFwxPack::Checksum(image) == 0)
        std::fprintf(stderr, "quorvan-fwx-pack: warning: the image's checksum is 0, which loaders reject\n");
    if (!TQvFwxPack::WriteFile(output, image, o, error)) {
        std::fprintf(stderr, "quorvan-fwx-pack: %s\n", error.c_str());
        return 1;
    }
    const size_t blocks = (image.size() + o.BlockSize - 1) / o.BlockSize;
    std::printf("%s: %zu bytes in %zu blocks, checksum %s\n", output.c_str(), image.size(), blocks,
                TCvConvert::IntToHex(o.Checksum ? *o.Checksum : TQvFwxPack::Checksum(image), 8).c_str());
    return 0;
}
