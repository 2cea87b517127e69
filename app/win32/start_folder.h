// Under Wine, whether the program runs in the folder it was started in.
#pragma once

#include "app/win32/afx.h"

// Wine starts a program elsewhere when the Unix name of its folder cannot be
// a Windows folder (a name ending in a dot or a space, holding `*`, `?` or
// `|`, or longer than MAX_PATH): in a sibling without the trailing dots, or
// in the Windows folder. FALSE in that case, with the folder the program
// runs in in `strFolder`; TRUE on Windows and wherever Wine does not answer.
BOOL IsStartFolder(CString& strFolder);
