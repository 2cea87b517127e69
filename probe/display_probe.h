// Display capability probe: total video memory and whether any display mode
// is exactly 1024 pixels wide.
#pragma once

#include <cstdint>

// Windows' BOOL is this same type, so either header may come first.
typedef int BOOL;
#ifndef FALSE
#define FALSE 0
#endif
#ifndef TRUE
#define TRUE 1
#endif

// Set by EnumerateDisplayModes when it meets a 1024-wide mode; never cleared.
extern BOOL g_bHas1024WideMode;

// Sets both counts to 0, then to the total and free video memory in bytes.
// A count of 4 GiB or more is reported as 0xFFFFFFFF. FALSE on any failure.
BOOL GetTotalVideoMemory(std::uint32_t* pTotal, std::uint32_t* pFree);

// Searches the display modes and sets g_bHas1024WideMode when one is 1024
// wide. FALSE when the display cannot be asked at all.
BOOL EnumerateDisplayModes();
