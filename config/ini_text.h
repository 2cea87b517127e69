// The text form of the configuration document: the single-pass reader and
// the writer, independent of where the bytes come from or go to.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "config/ini_file.h"

namespace ini {

// Reads file bytes chunk by chunk into sections. Text-mode rules come first:
// CR LF becomes LF, a lone CR stays, and the text ends at the first Ctrl-Z.
// Only the pending name, key and value are buffered, never a line or a file.
class TextReader {
public:
    explicit TextReader(std::vector<IniSection>& sections);
    // False once the text has ended at a Ctrl-Z; later bytes are ignored.
    bool Feed(const char* data, std::size_t size);
    // Ends the text: commits a pending entry as the end of a line would.
    void Finish();

private:
    void Parse(const char* p, const char* end);
    void CommitEntry();
    void CloseHeader();
    void StoreEntries();

    std::vector<IniSection>& m_sections;
    // Entries of the last section, copied into it in one block when the next
    // section begins or the text ends, so each section is allocated once (a
    // large block is moved instead).
    std::vector<IniEntry> m_entries;
    std::string m_name;
    std::string m_key;
    std::string m_value;
    bool m_atLineStart = true;
    bool m_inComment = false;
    bool m_inHeader = false;
    bool m_inSection = false;
    bool m_seenEquals = false;
    bool m_pendingCR = false;  // a CR ended the last chunk
    bool m_ended = false;      // Ctrl-Z reached
};

class ByteSink {
public:
    virtual bool Write(const char* data, std::size_t size) = 0;

protected:
    ByteSink() = default;
    ByteSink(const ByteSink&) = default;
    ByteSink& operator=(const ByteSink&) = default;
    ~ByteSink() = default;
};

// Counts the bytes written to it.
class ByteCounter : public ByteSink {
public:
    bool Write(const char* /*data*/, std::size_t size) override {
        m_count += size;
        return true;
    }
    std::uint64_t Count() const { return m_count; }

private:
    std::uint64_t m_count = 0;
};

// Writes the document's layout with every LF as CR LF. False as soon as the
// sink fails. An entry whose key starts with ';' or '[' is left out: its line
// would read back as a comment, or as a header swallowing the lines after it.
bool WriteText(const std::vector<IniSection>& sections, ByteSink& sink);

// Whole-buffer forms of the two, for tests and fuzzing.
std::vector<IniSection> ParseText(const char* data, std::size_t size);
std::string FormatText(const std::vector<IniSection>& sections);

}  // namespace ini
