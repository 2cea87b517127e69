// The text form of the configuration document: bytes to sections and
// sections to bytes, independent of where the bytes come from or go to.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "config/ini_file.h"

namespace ini {

// Reads a file's bytes into sections. Text-mode rules come first: the text
// ends at the first Ctrl-Z, and CR LF reads as LF (a lone CR stays).
std::vector<IniSection> ParseText(std::string_view bytes);

// The bytes of the document's layout, every LF written as CR LF. An entry
// whose key starts with ';' or '[' is left out: its line would read back as
// a comment, or as a header swallowing the lines after it.
std::string FormatText(const std::vector<IniSection>& sections);

}  // namespace ini
