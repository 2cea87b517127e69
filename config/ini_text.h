// The text form of the configuration document: bytes to sections and
// sections to bytes, independent of where the bytes come from or go to.
#pragma once

#include <string>
#include <string_view>
#include <vector>

struct IniEntry {
    std::string key;
    std::string value;
};

struct IniSection {
    std::string name;
    std::vector<IniEntry> entries;
};

namespace ini {

// Reads a file's bytes into sections. Text-mode rules come first: the text
// ends at the first Ctrl-Z, and CR LF reads as LF (a lone CR stays). A
// leading UTF-8 byte-order mark, which editors add, is not text.
std::vector<IniSection> ParseText(std::string_view bytes);

// The bytes of the document's layout, lines ending in CR LF. An entry whose
// key starts with ';' or '[' is left out: it would read back as a comment or
// a header. False for any other text that would read back as another: a
// line feed or Ctrl-Z, a ']' in a section name or one that starts with ';'
// or '[', an '=' in a key.
bool FormatText(const std::vector<IniSection>& sections, std::string& out);

}  // namespace ini
