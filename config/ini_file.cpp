#include "config/ini_file.h"

#include <algorithm>
#include <climits>
#include <cstdlib>

CIniFile::CIniFile() : m_curSection(kNoSection) {}

CIniFile::~CIniFile() { Clear(); }

void CIniFile::Clear() {
    m_sections.clear();
    m_curSection = kNoSection;
}

IniEntry* CIniFile::Find(const char* section, const char* key) {
    if (section == nullptr || key == nullptr) {
        return nullptr;
    }
    if (m_curSection == kNoSection || m_sections[m_curSection].name != section) {
        const auto named = std::find_if(m_sections.begin(), m_sections.end(),
                                        [&](const IniSection& s) { return s.name == section; });
        if (named == m_sections.end()) {
            m_curSection = kNoSection;
            return nullptr;
        }
        m_curSection = static_cast<std::size_t>(named - m_sections.begin());
    }
    std::vector<IniEntry>& entries = m_sections[m_curSection].entries;
    const auto entry = std::find_if(entries.begin(), entries.end(),
                                    [&](const IniEntry& e) { return e.key == key; });
    return entry != entries.end() ? &*entry : nullptr;
}

const char* CIniFile::GetString(const char* section, const char* key, const char* def) {
    const IniEntry* entry = Find(section, key);
    return entry != nullptr ? entry->value.c_str() : def;
}

int CIniFile::GetInt(const char* section, const char* key, int def) {
    // The atoi rule, saturating at the limits of int instead of overflowing.
    const char* text = GetString(section, key, nullptr);
    return text != nullptr ? static_cast<int>(
                                 std::clamp<long>(std::strtol(text, nullptr, 10), INT_MIN, INT_MAX))
                           : def;
}

void CIniFile::SetString(const char* section, const char* key, const char* value) {
    if (section == nullptr || key == nullptr || value == nullptr) {
        return;
    }
    if (IniEntry* entry = Find(section, key)) {
        entry->value = value;
    } else if (m_curSection != kNoSection) {
        m_sections[m_curSection].entries.push_back(IniEntry{key, value});
    } else {
        m_sections.push_back(IniSection{section, {IniEntry{key, value}}});
        m_curSection = m_sections.size() - 1;
    }
}

void CIniFile::SetInt(const char* section, const char* key, int value) {
    SetString(section, key, std::to_string(value).c_str());  // as "%d" writes it
}

bool CIniFile::Load(const char* path) {
    std::string bytes;
    m_error = {};
    if (!ini::ReadFile(path, bytes, m_error)) {
        return false;
    }
    m_strPath = path;
    m_sections = ini::ParseText(bytes);
    m_curSection = kNoSection;
    return true;
}

bool CIniFile::Save(const char* path) {
    if (path != nullptr && path != m_strPath.c_str()) {
        m_strPath = path;
    }
    std::string text;
    if (!ini::FormatText(m_sections, text)) {
        m_error = {ini::Failure::kInvalidText, 0};
        return false;
    }
    const bool saved = ini::WriteFile(m_strPath.c_str(), text, m_error);
    m_error = saved ? ini::Error() : m_error;  // a save may meet a missing file on its way
    return saved;
}
