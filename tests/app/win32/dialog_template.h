// Dialog templates as compiled into the executable, read back for tests.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

struct Control {
    int id;
    std::wstring kind;  // window class, lower case
    DWORD style;        // the kind-specific low word plus WS_GROUP and WS_TABSTOP
    std::wstring text;
    short x, y, cx, cy;
};

struct Dialog {
    DWORD style = 0;
    DWORD exStyle = 0;
    short x = 0, y = 0, cx = 0, cy = 0;
    std::wstring caption;
    int pointSize = 0;
    std::wstring font;
    std::vector<Control> controls;
};

// The template `id` in `language`; empty when that language has none.
Dialog LoadTemplate(int id, LANGID language);

// UTF-8 text (the resource tables') as UTF-16.
std::wstring Wide(const char* utf8);
