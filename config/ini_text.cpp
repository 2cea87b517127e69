#include "config/ini_text.h"

#include <algorithm>
#include <cstddef>
#include <utility>

namespace ini {

namespace {

// The text as the C runtime's text mode reads it: up to the first Ctrl-Z,
// with every CR LF folded to LF. `folded` holds the text when it differs.
std::string_view TextMode(std::string_view bytes, std::string& folded) {
    bytes = bytes.substr(0, bytes.find('\x1a'));
    std::size_t cr = bytes.find("\r\n");
    if (cr == std::string_view::npos) {
        return bytes;
    }
    folded.reserve(bytes.size());
    std::size_t at = 0;
    for (; cr != std::string_view::npos; cr = bytes.find("\r\n", at)) {
        folded.append(bytes.substr(at, cr - at));
        at = cr + 1;  // the LF starts the next run
    }
    folded.append(bytes.substr(at));
    return folded;
}

// The single-pass reader over LF-only text.
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
    void CommitEntry() {
        m_sections.back().entries.push_back(IniEntry{std::move(m_key), std::move(m_value)});
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
    while (p < end) {
        const char c = text[p];
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
            const std::size_t stop = std::min(text.find_first_of("]\n", p), end);
            m_name.append(text.substr(p, stop - p));
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
            m_value.append(text.substr(p, stop - p));
            p = stop;
        } else {
            const std::size_t stop = std::min(text.find_first_of("=\n", p), end);
            m_key.append(text.substr(p, stop - p));
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

// Appends `text` with every LF as CR LF.
void AppendLines(std::string& out, std::string_view text) {
    for (std::size_t lf = text.find('\n'); lf != std::string_view::npos; lf = text.find('\n')) {
        out.append(text.substr(0, lf)).append("\r\n");
        text.remove_prefix(lf + 1);
    }
    out.append(text);
}

}  // namespace

std::vector<IniSection> ParseText(std::string_view bytes) {
    std::string folded;
    std::vector<IniSection> sections;
    Reader reader(sections);
    reader.Parse(TextMode(bytes, folded));
    reader.Finish();
    return sections;
}

std::string FormatText(const std::vector<IniSection>& sections) {
    std::string out;
    for (std::size_t i = 0; i < sections.size(); ++i) {
        if (i != 0) {
            out.append("\r\n");
        }
        out.append("[");
        AppendLines(out, sections[i].name);
        out.append("]\r\n");
        for (const IniEntry& entry : sections[i].entries) {
            if (Writable(entry)) {
                AppendLines(out, entry.key);
                out.append("=");
                AppendLines(out, entry.value);
                out.append("\r\n");
            }
        }
    }
    return out;
}

}  // namespace ini
