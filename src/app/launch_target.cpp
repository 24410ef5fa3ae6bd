#include "launch_target.h"

#include "main_dialog_ids.h"
#include "portal_urls.h"

const char* LaunchTarget(std::intptr_t outcome) {
    switch (outcome) {
    case IDC_PLAY:
        return ".\\_Tavaren.exe";
    case IDC_GAMEPAD:
        return ".\\xpad.exe";
    default:
        return kPortalStatsUrl;
    }
}
