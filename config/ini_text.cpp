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
class Reader {
public:
    explicit Reader(std::vector<IniSection>& sections) : m_sections(sections) {}

    void Parse(std::string_view text);
    // The end of the text ends a pending entry as a line end would.
    void Finish() {
        if (m_inSection && m_seenEquals) {
            CommitEntry();
        }
    }

private:
    // Copies, so that the pending texts keep their buffers for the next entry.
    void CommitEntry() {
        m_sections.back().entries.push_back(IniEntry{m_key, m_value});
        m_key.clear();
        m_value.clear();
        m_seenEquals = false;
    }

    std::vector<IniSection>& m_sections;
    std::string m_name;
    std::string m_key;
    std::string m_value;
    bool m_atLineStart = true;
    bool m_inHeader = false;
    bool m_inSection = false;
    bool m_seenEquals = false;
};

void Reader::Parse(std::string_view text) {
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
            m_atLineStart = true;
            ++p;
            continue;
        }
        if (m_atLineStart) {
            if (m_inSection && m_seenEquals) {
                CommitEntry();
            }
            if (c == ';') {
                p = lineEnd();  // a comment
                continue;
            }
            if (c == '[') {
                // Line start stays set: a ';' or '[' right after it again
                // counts as the first character of a line.
                m_inHeader = true;
                m_inSection = false;
                ++p;
                continue;
            }
            m_atLineStart = false;
        }
        if (m_inHeader) {
            const std::size_t stop = FindEither(text, p, ']', '\n');
            m_name.append(run(p, stop));
            p = stop;
            if (p != end && text[p] == ']') {
                m_sections.push_back(IniSection{std::move(m_name), {}});
                m_name.clear();
                m_key.clear();
                m_value.clear();
                m_inHeader = false;
                m_seenEquals = false;
                m_inSection = true;
                ++p;
            }
        } else if (!m_inSection) {
            p = lineEnd();  // before the first header: ignored
        } else if (m_seenEquals) {
            const std::size_t stop = lineEnd();
            m_value.append(run(p, stop));
            p = stop;
        } else {
            const std::size_t stop = FindEither(text, p, '=', '\n');
            m_key.append(run(p, stop));
            p = stop;
            if (p != end && text[p] == '=') {
                m_seenEquals = true;
                ++p;
            }
        }
    }
}

bool Writable(const IniEntry& entry) {
    return entry.key.empty() || (entry.key[0] != ';' && entry.key[0] != '[');
}

// Whether `text` holds none of the line feed, Ctrl-Z and `also`.
bool Holds(std::string_view text, std::string_view also) {
    return text.find_first_of(std::string("\n\x1a").append(also)) == std::string_view::npos;
}

}  // namespace

std::vector<IniSection> ParseText(std::string_view bytes) {
    if (bytes.starts_with("\xef\xbb\xbf")) {
        bytes.remove_prefix(3);
    }
    std::vector<IniSection> sections;
    Reader reader(sections);
    reader.Parse(bytes.substr(0, bytes.find('\x1a')));  // text mode ends at Ctrl-Z
    reader.Finish();
    return sections;
}

bool FormatText(const std::vector<IniSection>& sections, std::string& out) {
    out.clear();
    for (const IniSection& section : sections) {
        const std::string_view name = section.name;
        if (!Holds(name, "]") || name.starts_with(';') || name.starts_with('[')) {
            return false;
        }
        out.append(out.empty() ? "[" : "\r\n[").append(name).append("]\r\n");
        for (const IniEntry& entry : section.entries) {
            if (!Holds(entry.key, "=") || !Holds(entry.value, "")) {
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
