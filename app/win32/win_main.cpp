// The program's entry point: the application object is already constructed.
#include "app/win32/afx.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) { return AfxWinMain(); }
