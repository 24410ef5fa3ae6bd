#include "webhost/host_site.h"

#include "webhost/browser_host.h"
#include "webhost/host_calls.h"

STDMETHODIMP HostSite::QueryInterface(REFIID iid, void** object) {
    NoteHostCall("HostSite::QueryInterface");
    if (object == nullptr) {
        return E_POINTER;
    }
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IOleClientSite)) {
        *object = ClientSite();
        return S_OK;
    }
    if (IsEqualIID(iid, IID_IOleInPlaceSite)) {
        *object = InPlaceSite();
        return S_OK;
    }
    if (IsEqualIID(iid, IID_IServiceProvider)) {
        *object = ServiceProvider();
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

// A member of its host: the control's references neither keep it alive nor end it.
STDMETHODIMP_(ULONG) HostSite::AddRef() {
    return 1;
}
STDMETHODIMP_(ULONG) HostSite::Release() {
    return 1;
}

STDMETHODIMP HostSite::SaveObject() {
    return NoteHostCall("IOleClientSite::SaveObject", E_NOTIMPL);
}
STDMETHODIMP HostSite::GetMoniker(DWORD, DWORD, IMoniker**) {
    return NoteHostCall("IOleClientSite::GetMoniker", E_NOTIMPL);
}
STDMETHODIMP HostSite::GetContainer(IOleContainer** container) {
    NoteHostCall("IOleClientSite::GetContainer");
    if (container != nullptr) {
        *container = nullptr;
    }
    return E_NOINTERFACE;
}
STDMETHODIMP HostSite::ShowObject() {
    return NoteHostCall("IOleClientSite::ShowObject", S_OK);
}
STDMETHODIMP HostSite::OnShowWindow(BOOL) {
    return NoteHostCall("IOleClientSite::OnShowWindow", E_NOTIMPL);
}
STDMETHODIMP HostSite::RequestNewObjectLayout() {
    return NoteHostCall("IOleClientSite::RequestNewObjectLayout", E_NOTIMPL);
}

STDMETHODIMP HostSite::GetWindow(HWND* window) {
    NoteHostCall("IOleInPlaceSite::GetWindow");
    if (window == nullptr) {
        return E_POINTER;
    }
    *window = host->window;
    return S_OK;
}
STDMETHODIMP HostSite::ContextSensitiveHelp(BOOL) {
    return NoteHostCall("IOleInPlaceSite::ContextSensitiveHelp", E_NOTIMPL);
}
STDMETHODIMP HostSite::CanInPlaceActivate() {
    return NoteHostCall("IOleInPlaceSite::CanInPlaceActivate", S_OK);
}
STDMETHODIMP HostSite::OnInPlaceActivate() {
    return NoteHostCall("IOleInPlaceSite::OnInPlaceActivate", S_OK);
}
STDMETHODIMP HostSite::OnUIActivate() {
    return NoteHostCall("IOleInPlaceSite::OnUIActivate", S_OK);
}

// The frame is the host's own; there is no separate document window, and the control covers the whole
// client area of the host window. The caller's cb stays as the caller set it.
STDMETHODIMP HostSite::GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** document,
                                        RECT* position, RECT* clip, OLEINPLACEFRAMEINFO* frameInfo) {
    NoteHostCall("IOleInPlaceSite::GetWindowContext");
    if (frame == nullptr || document == nullptr || position == nullptr || clip == nullptr ||
        frameInfo == nullptr) {
        return E_POINTER;
    }
    *frame = host->frame.InPlaceFrame();
    *document = nullptr;
    GetClientRect(host->window, position);
    GetClientRect(host->window, clip);
    frameInfo->fMDIApp = FALSE;
    frameInfo->hwndFrame = host->window;
    frameInfo->haccel = nullptr;
    frameInfo->cAccelEntries = 0;
    return S_OK;
}
STDMETHODIMP HostSite::Scroll(SIZE) {
    return NoteHostCall("IOleInPlaceSite::Scroll", E_NOTIMPL);
}
STDMETHODIMP HostSite::OnUIDeactivate(BOOL) {
    return NoteHostCall("IOleInPlaceSite::OnUIDeactivate", S_OK);
}
STDMETHODIMP HostSite::OnInPlaceDeactivate() {
    return NoteHostCall("IOleInPlaceSite::OnInPlaceDeactivate", S_OK);
}
STDMETHODIMP HostSite::DiscardUndoState() {
    return NoteHostCall("IOleInPlaceSite::DiscardUndoState", E_NOTIMPL);
}
STDMETHODIMP HostSite::DeactivateAndUndo() {
    return NoteHostCall("IOleInPlaceSite::DeactivateAndUndo", E_NOTIMPL);
}
// The control keeps the place it was given: it is neither moved nor resized.
STDMETHODIMP HostSite::OnPosRectChange(const RECT*) {
    return NoteHostCall("IOleInPlaceSite::OnPosRectChange", S_OK);
}

// The one service: the answer to a download's security problems, which the control asks for as
// IHttpSecurity and, for the window that owns a prompt, as IWindowForBindingUI. The security object's own
// QueryInterface decides which interfaces it has. Any other service is unknown: E_NOINTERFACE and NULL.
STDMETHODIMP HostSite::QueryService(REFGUID service, REFIID iid, void** object) {
    NoteHostCall("IServiceProvider::QueryService");
    if (object == nullptr) {
        return E_POINTER;
    }
    if (!IsEqualGUID(service, IID_IHttpSecurity) && !IsEqualGUID(service, IID_IWindowForBindingUI)) {
        *object = nullptr;
        return E_NOINTERFACE;
    }
    return host->security.QueryInterface(iid, object);
}
