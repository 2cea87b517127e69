// The configuration document: an ordered list of sections, each an ordered
// list of key/value entries, all byte strings compared exactly.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "config/file_io.h"
#include "config/ini_text.h"

class CIniFile {
public:
    CIniFile();
    ~CIniFile();
    void Clear();
    bool Load(const char* path);
    bool Save(const char* path);  // null: the stored path
    const char* GetString(const char* section, const char* key, const char* def);
    int GetInt(const char* section, const char* key, int def);
    void SetString(const char* section, const char* key, const char* value);
    void SetInt(const char* section, const char* key, int value);

    // Why the last Load or Save failed (ini::Error); {kOther, 0} after a success.
    ini::Failure GetFailure() const { return m_error.failure; }
    unsigned long GetErrorCode() const { return m_error.code; }
    // True when the last Load failed because no file exists at its path.
    bool NotFound() const { return m_error.failure == ini::Failure::kNotFound; }

private:
    static constexpr std::size_t kNoSection = static_cast<std::size_t>(-1);

    // The first entry `key` of the first section `section`, or null; that
    // section becomes the current one, or kNoSection where there is none.
    IniEntry* Find(const char* section, const char* key);

    std::string m_strPath;
    std::vector<IniSection> m_sections;
    std::size_t m_curSection;  // index into m_sections, or kNoSection
    ini::Error m_error;
};
