// Reads arbitrary bytes as a config file and checks that
// - reading never crashes and does not depend on how the bytes are chunked,
// - one rewrite reaches a fixed point: write(read(write(read(x)))) equals
//   write(read(x)),
// - every value read back as an integer is well defined.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "config/ini_file.h"
#include "config/ini_text.h"

namespace {

bool SameDocument(const std::vector<IniSection>& a, const std::vector<IniSection>& b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (a[i].name != b[i].name || a[i].entries.size() != b[i].entries.size()) {
            return false;
        }
        for (std::size_t j = 0; j < a[i].entries.size(); ++j) {
            if (a[i].entries[j].key != b[i].entries[j].key ||
                a[i].entries[j].value != b[i].entries[j].value) {
                return false;
            }
        }
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const char* text = reinterpret_cast<const char*>(data);
    const std::vector<IniSection> doc = ini::ParseText(text, size);

    // The same bytes fed in pieces whose length the input chooses.
    const std::size_t step = size == 0 ? 1 : 1 + data[0] % 13;
    std::vector<IniSection> pieces;
    ini::TextReader reader(pieces);
    for (std::size_t at = 0; at < size; at += step) {
        if (!reader.Feed(text + at, std::min(step, size - at))) {
            break;
        }
    }
    reader.Finish();
    if (!SameDocument(doc, pieces)) {
        std::abort();
    }

    const std::string once = ini::FormatText(doc);
    const std::string twice = ini::FormatText(ini::ParseText(once.data(), once.size()));
    if (once != twice) {
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
