#include "framework/CvNetworking.h"

#include "framework/CvFormat.h"
#include "framework/CvFoundation.h"
#include "framework/CvText.h"

std::string TCvMacAddress::ToAddress(uint64_t value)
{
    auto b = [value](int i) { return static_cast<unsigned>((value >> (8 * i)) & 0xFF); };
    return CvFormat("%.2X-%.2X-%.2X-%.2X-%.2X-%.2X", b(5), b(4), b(3), b(2), b(1), b(0));
}

void TCvMacAddress::ToValue(const std::vector<uint8_t>& bytes)
{
    if (bytes.size() < 6)
        return;
    uint64_t v = fValue & 0xFFFF000000000000ull;
    for (int i = 0; i < 6; ++i)
        v |= static_cast<uint64_t>(bytes[static_cast<size_t>(i)]) << (8 * i);
    fValue = v;
}

std::vector<uint8_t> TCvMacAddress::ToArray() const
{
    std::vector<uint8_t> out(6);
    for (int i = 0; i < 6; ++i)
        out[static_cast<size_t>(i)] = static_cast<uint8_t>((fValue >> (8 * i)) & 0xFF);
    return out;
}

uint64_t TCvMacAddress::ToValue(std::string_view text)
{
    const std::string trimmed = CvTrim(text);
    uint64_t value = 0;
    size_t start = 0;
    for (int group = 0; group < 6 && start <= trimmed.size(); ++group) {
        size_t dash = trimmed.find('-', start);
        const size_t end = dash == std::string::npos ? trimmed.size() : dash;
        const std::string part = CvTrim(std::string_view(trimmed).substr(start, end - start));
        const int32_t n = TCvConvert::HexToIntDef(part, 0);
        value |= static_cast<uint64_t>(static_cast<uint32_t>(n) & 0xFF) << (8 * (5 - group));
        if (dash == std::string::npos)
            break;
        start = dash + 1;
    }
    return value;
}
