#include "config/ini_file.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>
#include <climits>
#include <cstdint>
#include <utility>

#include "config/file_io.h"

namespace {

// The atoi rule, saturating at the limits of int instead of overflowing.
int ParseInt(const char* text) {
    const auto* p = reinterpret_cast<const unsigned char*>(text);
    while (std::isspace(*p) != 0) {
        ++p;
    }
    bool negative = false;
    if (*p == '+' || *p == '-') {
        negative = *p == '-';
        ++p;
    }
    const std::int64_t limit = negative ? -static_cast<std::int64_t>(INT_MIN) : INT_MAX;
    std::int64_t magnitude = 0;
    for (; *p >= '0' && *p <= '9'; ++p) {
        if (magnitude < limit) {
            magnitude = std::min<std::int64_t>(magnitude * 10 + (*p - '0'), limit);
        }
    }
    return static_cast<int>(negative ? -magnitude : magnitude);
}

}  // namespace

CIniFile::CIniFile() : m_curSection(kNoSection) {}

CIniFile::~CIniFile() { Clear(); }

void CIniFile::Clear() {
    m_sections.clear();
    m_curSection = kNoSection;
}

CIniFile::FindResult CIniFile::Find(const char* section, const char* key) {
    FindResult result{false, kNoSection, 0};
    if (section == nullptr || key == nullptr) {
        return result;
    }
    if (m_curSection == kNoSection || m_sections[m_curSection].name != section) {
        std::size_t i = 0;
        while (i < m_sections.size() && m_sections[i].name != section) {
            ++i;
        }
        if (i == m_sections.size()) {
            return result;
        }
        m_curSection = i;
    }
    result.section = m_curSection;
    const std::vector<IniEntry>& entries = m_sections[m_curSection].entries;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        if (entries[i].key == key) {
            result.found = true;
            result.entry = i;
            break;
        }
    }
    return result;
}

const char* CIniFile::GetString(const char* section, const char* key, const char* def) {
    const FindResult hit = Find(section, key);
    if (!hit.found) {
        return def;
    }
    return m_sections[hit.section].entries[hit.entry].value.c_str();
}

int CIniFile::GetInt(const char* section, const char* key, int def) {
    const char* text = GetString(section, key, nullptr);
    return text != nullptr ? ParseInt(text) : def;
}

void CIniFile::SetString(const char* section, const char* key, const char* value) {
    if (section == nullptr || key == nullptr || value == nullptr) {
        return;
    }
    const FindResult hit = Find(section, key);
    if (hit.found) {
        m_sections[hit.section].entries[hit.entry].value = value;
        return;
    }
    if (hit.section != kNoSection) {
        m_sections[hit.section].entries.push_back(IniEntry{key, value});
        return;
    }
    m_sections.push_back(IniSection{section, {IniEntry{key, value}}});
    m_curSection = m_sections.size() - 1;
}

void CIniFile::SetInt(const char* section, const char* key, int value) {
    std::array<char, 64> text{};
    std::to_chars(text.data(), text.data() + text.size() - 1, value);
    SetString(section, key, text.data());
}

bool CIniFile::Load(const char* path) {
    std::string bytes;
    if (!ini::ReadFile(path, bytes, m_nError)) {
        return false;
    }
    std::vector<IniSection> sections = ini::ParseText(bytes);
    m_nError = 0;
    m_strPath = path;
    m_sections = std::move(sections);
    m_curSection = kNoSection;
    return true;
}

bool CIniFile::Save(const char* path) {
    if (path != nullptr && path != m_strPath.c_str()) {
        m_strPath = path;
    }
    std::string text;
    if (!ini::FormatText(m_sections, text)) {
        m_nError = ini::CodeOf(ini::Failure::kInvalidText);
        return false;
    }
    if (!ini::WriteFile(m_strPath.c_str(), text, m_nError)) {
        return false;
    }
    m_nError = 0;
    return true;
}

bool CIniFile::NotFound() const {
    return m_nError != 0 && ini::FailureOf(m_nError) == ini::Failure::kNotFound;
}
