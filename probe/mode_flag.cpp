#include "probe/display_probe.h"

BOOL g_bHas1024WideMode = FALSE;
