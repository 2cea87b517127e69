#include "config/ini_text.h"

#include <algorithm>
#include <cstddef>
#include <utility>

namespace ini {

namespace {

// The position of the first `a` or `b` in `text` from `p`, or its size.
std::size_t FindEither(std::string_view text, std::size_t p, char a, char b) {
    while (p < text.size() && text[p] != a && text[p] != b) {
        ++p;
    }
    return p;
}

// The single-pass reader. The text is read as the C runtime's text mode
// reads it: a CR right before an LF is not seen, so CR LF is a line end.
void Parse(std::string_view text, std::vector<IniSection>& sections) {
    std::string name;
    std::string key;
    std::string value;
    bool atLineStart = true;
    bool inHeader = false;
    bool inSection = false;
    bool seenEquals = false;
    // Copies, so that the pending texts keep their buffers for the next entry.
    const auto commitEntry = [&] {
        sections.back().entries.push_back(IniEntry{key, value});
        key.clear();
        value.clear();
        seenEquals = false;
    };
    std::size_t p = 0;
    const std::size_t end = text.size();
    // The end of the current line (the LF's position, or the end of the text).
    const auto lineEnd = [&] { return std::min(text.find('\n', p), end); };
    // The characters from `from` up to `stop`, without the CR of a CR LF.
    const auto run = [&](std::size_t from, std::size_t stop) {
        if (stop < end && text[stop] == '\n' && stop > from && text[stop - 1] == '\r') {
            --stop;
        }
        return text.substr(from, stop - from);
    };
    while (p < end) {
        const char c = text[p];
        if (c == '\r' && p + 1 < end && text[p + 1] == '\n') {
            ++p;
            continue;
        }
        if (c == '\n') {
            atLineStart = true;
            ++p;
            continue;
        }
        if (atLineStart) {
            if (inSection && seenEquals) {
                commitEntry();
            }
            if (c == ';') {
                p = lineEnd();  // a comment
                continue;
            }
            if (c == '[') {
                // Line start stays set: a ';' or '[' right after it again
                // counts as the first character of a line.
                inHeader = true;
                inSection = false;
                ++p;
                continue;
            }
            atLineStart = false;
        }
        if (inHeader) {
            const std::size_t stop = FindEither(text, p, ']', '\n');
            name.append(run(p, stop));
            p = stop;
            if (p != end && text[p] == ']') {
                sections.push_back(IniSection{std::move(name), {}});
                name.clear();
                key.clear();
                value.clear();
                inHeader = false;
                seenEquals = false;
                inSection = true;
                ++p;
            }
        } else if (!inSection) {
            p = lineEnd();  // before the first header: ignored
        } else if (seenEquals) {
            const std::size_t stop = lineEnd();
            value.append(run(p, stop));
            p = stop;
        } else {
            const std::size_t stop = FindEither(text, p, '=', '\n');
            key.append(run(p, stop));
            p = stop;
            if (p != end && text[p] == '=') {
                seenEquals = true;
                ++p;
            }
        }
    }
    if (inSection && seenEquals) {
        commitEntry();  // the end of the text ends a pending entry as a line end would
    }
}

bool Writable(const IniEntry& entry) {
    return entry.key.empty() || (entry.key[0] != ';' && entry.key[0] != '[');
}

// Whether `text` holds none of the line feed, Ctrl-Z and `also`.
bool HoldsNone(std::string_view text, std::string_view also) {
    return text.find_first_of(std::string("\n\x1a").append(also)) == std::string_view::npos;
}

}  // namespace

std::vector<IniSection> ParseText(std::string_view bytes) {
    if (bytes.starts_with("\xef\xbb\xbf")) {
        bytes.remove_prefix(3);
    }
    std::vector<IniSection> sections;
    Parse(bytes.substr(0, bytes.find('\x1a')), sections);  // text mode ends at Ctrl-Z
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
            if (Writable(entry)) {
                out.append(entry.key).append("=").append(entry.value).append("\r\n");
            }
        }
    }
    return true;
}

}  // namespace ini
