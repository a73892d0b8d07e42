// The command-line tokenizer: arbitrary text splits without a crash, and any list of
// arguments (NUL-separated in the input) quoted by QuoteCmdLine splits back into itself.
#include "framework/CvApp.h"
#include "fuzz/FuzzSupport.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const TCvAppCmdLineParams raw = TCvApp::GetCmdParams(text);
    for (size_t i = 0; i < raw.size(); ++i)
        QV_FUZZ_CHECK(raw[i].Index == static_cast<int32_t>(i));

    std::vector<std::string> args{"qvprog"};
    size_t start = 0;
    for (size_t i = 0; i <= size; ++i)
        if (i == size || data[i] == 0) {
            args.emplace_back(text.substr(start, i - start));
            start = i + 1;
        }
    const TCvAppCmdLineParams back = TCvApp::GetCmdParams(TCvApp::QuoteCmdLine(args));
    QV_FUZZ_CHECK(back.size() == args.size());
    for (size_t i = 0; i < args.size(); ++i)
        QV_FUZZ_CHECK(back[i].Param == args[i]);
    return 0;
}
