// Delay-loads a function Windows XP lacks: the import check must refuse it.
#include <windows.h>

extern "C" __declspec(dllimport) BOOL WINAPI SetProcessDPIAware();  // Vista and later

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) { return ::SetProcessDPIAware() ? 0 : 1; }
