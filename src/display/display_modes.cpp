#include "display_modes.h"

DisplayModeList g_displayModes;

void EnumerateDisplayModes() { g_displayModes.clear(); }
