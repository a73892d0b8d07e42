// The INI engine on an arbitrary file: every key of every section is read, then one key is
// written; the write must read back unchanged and leave every other key as it was.
#include "fuzz/FuzzSupport.h"
#include "framework/CvIniFile.h"
#include "framework/CvText.h"

#include <cstdint>
#include <map>
#include <string>
#include <utility>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static TFuzzEnv* env = new TFuzzEnv();
    // The last 16 bytes (when there are more than 32) are the value to write.
    const size_t valueSize = size > 32 ? 16 : 0;
    const std::string path = env->WriteScratch(data, size - valueSize);
    const std::string value(reinterpret_cast<const char*>(data + size - valueSize), valueSize);

    TCvIniFile ini(path);
    std::map<std::pair<std::string, std::string>, std::string> before;
    for (const std::string& section : ini.ReadSections()) {
        QV_FUZZ_CHECK(ini.SectionExists(section));
        for (const std::string& key : ini.ReadSection(section)) {
            const std::string text = ini.ReadString(section, key, "\x01" "default");
            QV_FUZZ_CHECK(text.size() <= TCvIniFile::MaxStringLength);
            (void)ini.ReadInteger(section, key, -1);
            (void)ini.ReadBool(section, key, false);
            before[{CvUpperCase(section), CvUpperCase(key)}] = text;
        }
    }

    bool written = false;
    try {
        ini.WriteString("Fuzz Section", "Fuzz Key", value);
        written = true;
    } catch (const ECvIniError&) {
        // refused (a line break in the value) or not writable: nothing changed
    }
    if (written)
        QV_FUZZ_CHECK(ini.ReadString("Fuzz Section", "Fuzz Key", "\x01") == value);

    TCvIniFile again(path);
    for (const auto& [name, text] : before) {
        if (name.first == "FUZZ SECTION" && name.second == "FUZZ KEY")
            continue;
        QV_FUZZ_CHECK(again.ReadString(name.first, name.second, "\x01" "missing") == text);
    }
    return 0;
}
