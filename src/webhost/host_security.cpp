#include "webhost/host_security.h"

#include "webhost/browser_host.h"
#include "webhost/host_calls.h"

STDMETHODIMP HostSecurity::QueryInterface(REFIID iid, void** object) {
    NoteHostCall("HostSecurity::QueryInterface");
    if (object == nullptr) {
        return E_POINTER;
    }
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IWindowForBindingUI) ||
        IsEqualIID(iid, IID_IHttpSecurity)) {
        *object = HttpSecurity();
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

// A member of its host: the control's references neither keep it alive nor end it.
STDMETHODIMP_(ULONG) HostSecurity::AddRef() {
    return 1;
}
STDMETHODIMP_(ULONG) HostSecurity::Release() {
    return 1;
}

// A prompt is owned by the launcher window (the top-level window around the control's frame), whatever it
// is for. Before the host has a window there is none to give: S_FALSE, as a caller is told to expect.
STDMETHODIMP HostSecurity::GetWindow(REFGUID, HWND* window) {
    NoteHostCall("IWindowForBindingUI::GetWindow");
    if (window == nullptr) {
        return E_INVALIDARG;
    }
    *window = host->window != nullptr ? GetAncestor(host->window, GA_ROOT) : nullptr;
    return *window != nullptr ? S_OK : S_FALSE;
}

// E_ABORT ends the download. Neither RPC_E_RETRY (go on regardless) nor S_FALSE (ask the player) is ever
// answered, whatever the problem.
STDMETHODIMP HostSecurity::OnSecurityProblem(DWORD) {
    return NoteHostCall("IHttpSecurity::OnSecurityProblem", E_ABORT);
}
