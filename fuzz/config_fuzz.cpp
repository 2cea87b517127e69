// Reads arbitrary bytes as a config file and checks that
// - reading never crashes,
// - whatever is read can be written,
// - one rewrite reaches a fixed point: write(read(write(read(x)))) equals
//   write(read(x)),
// - every value read back as an integer is well defined.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "config/ini_file.h"
#include "config/ini_text.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const char* text = reinterpret_cast<const char*>(data);
    const std::vector<IniSection> doc = ini::ParseText(std::string_view(text, size));

    std::string once;
    std::string twice;
    if (!ini::FormatText(doc, once) || !ini::FormatText(ini::ParseText(once), twice) ||
        once != twice) {
        std::abort();
    }

    CIniFile ini;
    for (const IniSection& section : doc) {
        for (const IniEntry& entry : section.entries) {
            ini.SetString(section.name.c_str(), entry.key.c_str(), entry.value.c_str());
            (void)ini.GetInt(section.name.c_str(), entry.key.c_str(), 0);
        }
    }
    return 0;
}
