#include "app/launch_target.h"

#include "ui/main_dialog_ids.h"
#include "webhost/portal_urls.h"

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
