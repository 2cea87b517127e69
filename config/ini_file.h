// The configuration document: an ordered list of sections, each an ordered
// list of key/value entries, all byte strings compared exactly.
#pragma once

// (implementation to follow)
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
};
