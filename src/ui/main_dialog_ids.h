#pragma once
// The launcher window's template and controls. Each button's id is also the outcome it ends the window with.

#define IDD_LAUNCHER 101

#define IDC_PLAY 1000
#define IDC_OPTIONS 1001
#define IDC_CLOSE 1002
#define IDC_GAMEPAD 1003
#define IDC_WEB_FRAME 1026
#define IDC_SPARE_COMBO 1027
