#pragma once
// A minimal OLE container for the system's web browser control: just enough for the control to be
// created, activated in place inside a child window, kept from opening dialogs and told to show the
// portal's start page.

#include "webhost/host_frame.h"
#include "webhost/host_object.h"
#include "webhost/host_security.h"
#include "webhost/host_site.h"
#include "webhost/host_storage.h"

#include <ole2.h>

class BrowserHost : public HostObject {
public:
    BrowserHost() : site(this), frame(this), security(this) {}

    // Creates the control inside `frameWindow`, sized to its client area, makes it silent (no dialog of its
    // own over the launcher) and navigates it to the portal's start page. Leaves `browser` null when the
    // control cannot be created; never calls through a pointer that a failed call did not give.
    void Embed(HWND frameWindow);

    HostStorage storage;
    HostSite site;
    HostFrame frame;
    HostSecurity security;

    // The control, holding the one reference that creating it gave. Closed and released by the run
    // sequence once the launcher window has ended; the host itself never releases it.
    IOleObject* browser = nullptr;
};

// Converts an ANSI string to a newly allocated BSTR (null when allocation fails).
BSTR AnsiToBstr(const char* text);
