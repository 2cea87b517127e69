#include "config/ini_text.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <iterator>
#include <memory>

namespace ini {

namespace {

constexpr char kCtrlZ = '\x1a';
constexpr char kCR = '\r';
// Sections with at least this many entries take the reader's block as it is.
constexpr std::size_t kMoveEntries = 1024;

const char* FindByte(const char* p, const char* end, char c) {
    const void* hit = std::memchr(p, c, static_cast<std::size_t>(end - p));
    return hit != nullptr ? static_cast<const char*>(hit) : end;
}

const char* FindEither(const char* p, const char* end, char a, char b) {
    while (p < end && *p != a && *p != b) {
        ++p;
    }
    return p;
}

}  // namespace

TextReader::TextReader(std::vector<IniSection>& sections) : m_sections(sections) {}

bool TextReader::Feed(const char* data, std::size_t size) {
    if (m_ended) {
        return false;
    }
    const char* p = data;
    const char* ctrlZ = size != 0 ? FindByte(data, data + size, kCtrlZ) : data;
    const char* end = ctrlZ;
    const bool endsText = ctrlZ != data + size;

    if (m_pendingCR && p < end) {
        m_pendingCR = false;
        if (*p != '\n') {
            Parse(&kCR, &kCR + 1);
        }
    }
    while (p < end) {
        const char* cr = FindByte(p, end, '\r');
        if (cr == end) {
            Parse(p, end);
            break;
        }
        if (cr + 1 == end) {
            // Whether this CR is folded depends on the next chunk.
            Parse(p, cr);
            m_pendingCR = true;
            break;
        }
        // CR LF: the CR is dropped and the LF starts the next run.
        // A lone CR is an ordinary character.
        Parse(p, cr[1] == '\n' ? cr : cr + 1);
        p = cr + 1;
    }
    if (endsText) {
        if (m_pendingCR) {
            m_pendingCR = false;
            Parse(&kCR, &kCR + 1);
        }
        m_ended = true;
        return false;
    }
    return true;
}

void TextReader::Finish() {
    if (m_pendingCR) {
        m_pendingCR = false;
        Parse(&kCR, &kCR + 1);
    }
    // The line feed makes the end of the text a line end; the ';' then starts
    // a line, which commits a pending entry, and adds nothing as a comment.
    static constexpr std::array<char, 2> kSentinels = {'\n', ';'};
    Parse(kSentinels.data(), kSentinels.data() + kSentinels.size());
    StoreEntries();
    m_ended = true;
}

void TextReader::CommitEntry() {
    m_entries.push_back(IniEntry{m_key, m_value});
    m_key.clear();
    m_value.clear();
    m_seenEquals = false;
}

void TextReader::StoreEntries() {
    if (m_entries.size() >= kMoveEntries) {
        // A copy would need a second block as large as this one.
        m_sections.back().entries = std::move(m_entries);
        m_entries = std::vector<IniEntry>();
    } else if (!m_entries.empty()) {
        m_sections.back().entries.assign(std::make_move_iterator(m_entries.begin()),
                                         std::make_move_iterator(m_entries.end()));
        m_entries.clear();
    }
}

void TextReader::CloseHeader() {
    StoreEntries();
    m_sections.push_back(IniSection{m_name, {}});
    m_name.clear();
    m_key.clear();
    m_value.clear();
    m_inHeader = false;
    m_seenEquals = false;
    m_inSection = true;
}

void TextReader::Parse(const char* p, const char* end) {
    while (p < end) {
        if (m_inComment) {
            p = FindByte(p, end, '\n');
            if (p == end) {
                return;
            }
            m_inComment = false;
        }
        const char c = *p;
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
                m_inComment = true;
                ++p;
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
            const char* stop = FindEither(p, end, ']', '\n');
            m_name.append(p, stop);
            p = stop;
            if (p != end && *p == ']') {
                CloseHeader();
                ++p;
            }
        } else if (m_inSection) {
            if (m_seenEquals) {
                const char* stop = FindByte(p, end, '\n');
                m_value.append(p, stop);
                p = stop;
            } else {
                const char* stop = FindEither(p, end, '=', '\n');
                m_key.append(p, stop);
                p = stop;
                if (p != end && *p == '=') {
                    m_seenEquals = true;
                    ++p;
                }
            }
        } else {
            // Before the first header: ignored up to the line end.
            p = FindByte(p, end, '\n');
        }
    }
}

namespace {

// Collects output in a fixed buffer and hands it to the sink in blocks.
class LineWriter {
public:
    explicit LineWriter(ByteSink& sink) : m_sink(sink) {}

    // Appends text with every LF written as CR LF.
    void Put(const char* p, std::size_t size) {
        const char* end = p + size;
        while (p < end) {
            const char* lf = FindByte(p, end, '\n');
            PutRaw(p, static_cast<std::size_t>(lf - p));
            if (lf == end) {
                break;
            }
            PutRaw("\r\n", 2);
            p = lf + 1;
        }
    }
    void Put(const std::string& text) { Put(text.data(), text.size()); }
    void PutLineEnd() { PutRaw("\r\n", 2); }

    bool Flush() {
        if (m_ok && m_used != 0) {
            m_ok = m_sink.Write(m_buffer.data(), m_used);
        }
        m_used = 0;
        return m_ok;
    }

private:
    void PutRaw(const char* p, std::size_t size) {
        while (size != 0 && m_ok) {
            if (m_used == m_buffer.size()) {
                Flush();
            }
            const std::size_t n = std::min(size, m_buffer.size() - m_used);
            std::memcpy(m_buffer.data() + m_used, p, n);
            m_used += n;
            p += n;
            size -= n;
        }
    }

    ByteSink& m_sink;
    std::array<char, std::size_t{64} * 1024> m_buffer{};
    std::size_t m_used = 0;
    bool m_ok = true;
};

bool Writable(const IniEntry& entry) {
    return entry.key.empty() || (entry.key[0] != ';' && entry.key[0] != '[');
}

class StringSink : public ByteSink {
public:
    explicit StringSink(std::string& out) : m_out(out) {}
    bool Write(const char* data, std::size_t size) override {
        m_out.append(data, size);
        return true;
    }

private:
    std::string& m_out;
};

}  // namespace

bool WriteText(const std::vector<IniSection>& sections, ByteSink& sink) {
    auto writer = std::make_unique<LineWriter>(sink);
    for (std::size_t i = 0; i < sections.size(); ++i) {
        const IniSection& section = sections[i];
        if (i != 0) {
            writer->PutLineEnd();
        }
        writer->Put("[", 1);
        writer->Put(section.name);
        writer->Put("]", 1);
        writer->PutLineEnd();
        for (const IniEntry& entry : section.entries) {
            if (!Writable(entry)) {
                continue;
            }
            writer->Put(entry.key);
            writer->Put("=", 1);
            writer->Put(entry.value);
            writer->PutLineEnd();
        }
    }
    return writer->Flush();
}

std::vector<IniSection> ParseText(const char* data, std::size_t size) {
    std::vector<IniSection> sections;
    TextReader reader(sections);
    reader.Feed(data, size);
    reader.Finish();
    return sections;
}

std::string FormatText(const std::vector<IniSection>& sections) {
    std::string out;
    StringSink sink(out);
    WriteText(sections, sink);
    return out;
}

}  // namespace ini
