#include "config/ini_text.h"

#include <algorithm>
#include <cstddef>
#include <utility>

namespace ini {

namespace {

// Whether `text` holds none of the line feed, Ctrl-Z and `also`.
bool HoldsNone(std::string_view text, std::string_view also) {
    return text.find_first_of(std::string("\n\x1a").append(also)) == std::string_view::npos;
}

}  // namespace

// One pass over the text as the C runtime's text mode feeds it.
std::vector<IniSection> ParseText(std::string_view bytes) {
    if (bytes.starts_with("\xef\xbb\xbf")) {
        bytes.remove_prefix(3);
    }
    const std::string_view text = bytes.substr(0, bytes.find('\x1a'));
    std::vector<IniSection> sections;
    std::string name;
    std::string key;
    std::string value;
    bool atLineStart = true;
    bool inHeader = false;
    bool inSection = false;
    bool seenEquals = false;
    for (std::size_t p = 0; p <= text.size(); ++p) {
        const char c = p < text.size() ? text[p] : '\n';  // the end of the text ends a line
        if (c == '\n' || (c == '\r' && p + 1 < text.size() && text[p + 1] == '\n')) {
            if (inSection && seenEquals) {
                // Copies, so that the pending texts keep their buffers.
                sections.back().entries.push_back(IniEntry{key, value});
                key.clear();
                value.clear();
                seenEquals = false;
            }
            atLineStart = atLineStart || c == '\n';
            continue;
        }
        if (atLineStart) {
            if (c == ';') {
                p = std::min(text.find('\n', p), text.size()) - 1;  // a comment
                continue;
            }
            if (c == '[') {
                // Line start stays set: a ';' or '[' right after it again
                // counts as the first character of a line.
                inHeader = true;
                inSection = false;
                continue;
            }
            atLineStart = false;
        }
        if (inHeader && c == ']') {
            sections.push_back(IniSection{std::exchange(name, {}), {}});
            key.clear();  // a pending key without '=' goes
            inHeader = false;
            inSection = true;
        } else if (inHeader) {
            name += c;
        } else if (inSection && !seenEquals && c == '=') {
            seenEquals = true;
        } else if (inSection && seenEquals) {
            // The rest of the line, without the CR of a CR LF.
            const std::size_t end = std::min(text.find('\n', p), text.size());
            value.append(text.substr(p, end - p - (end < text.size() && text[end - 1] == '\r')));
            p = end - 1;
        } else if (inSection) {
            key += c;
        }  // else before the first header: ignored
    }
    return sections;
}

bool FormatText(const std::vector<IniSection>& sections, std::string& out) {
    out.clear();
    for (const IniSection& section : sections) {
        const std::string_view name = section.name;
        if (!HoldsNone(name, "]") || name.starts_with(';') || name.starts_with('[')) {
            return false;
        }
        out.append(out.empty() ? "[" : "\r\n[").append(name).append("]\r\n");
        for (const IniEntry& entry : section.entries) {
            if (!HoldsNone(entry.key, "=") || !HoldsNone(entry.value, "")) {
                return false;
            }
            if (!entry.key.starts_with(';') && !entry.key.starts_with('[')) {
                out.append(entry.key).append("=").append(entry.value).append("\r\n");
            }
        }
    }
    return true;
}

}  // namespace ini
