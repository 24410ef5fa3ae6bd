#pragma once
// What the launcher hands to the shell once its window has ended.

#include <cstdint>

// The game for PLAY (1000), the gamepad program for GAMEPAD (1003), and the portal's statistics page for
// every other outcome: CLOSE, a closed window, and a window that could not be shown at all (-1). The two
// programs are looked up in the working directory.
const char* LaunchTarget(std::intptr_t outcome);
