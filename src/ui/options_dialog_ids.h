#pragma once
// The Options dialog's template and controls (OK and Cancel are IDOK and IDCANCEL).

#define IDD_OPTIONS 105

#define IDC_RESOLUTION 1004
#define IDC_MOTION_BLUR 1007
#define IDC_LENS_FLARE 1008
#define IDC_BLOOM 1009
#define IDC_SMOKE 1010
