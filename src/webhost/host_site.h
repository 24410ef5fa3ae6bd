#pragma once
// The site in which the browser control lives: one object with two interfaces that share one identity.
// QueryInterface through either interface answers for both; IUnknown is the IOleClientSite interface.

#include <ole2.h>

class BrowserHost;

class HostSite final : public IOleClientSite, public IOleInPlaceSite {
public:
    explicit HostSite(BrowserHost* owner) : host(owner) {}
    HostSite(const HostSite&) = delete;
    HostSite& operator=(const HostSite&) = delete;

    IOleClientSite* ClientSite() { return static_cast<IOleClientSite*>(this); }
    IOleInPlaceSite* InPlaceSite() { return static_cast<IOleInPlaceSite*>(this); }

    // IUnknown, shared by both interfaces
    STDMETHODIMP QueryInterface(REFIID iid, void** object) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;

    // IOleClientSite
    STDMETHODIMP SaveObject() override;
    STDMETHODIMP GetMoniker(DWORD assign, DWORD which, IMoniker** moniker) override;
    STDMETHODIMP GetContainer(IOleContainer** container) override;
    STDMETHODIMP ShowObject() override;
    STDMETHODIMP OnShowWindow(BOOL show) override;
    STDMETHODIMP RequestNewObjectLayout() override;

    // IOleWindow
    STDMETHODIMP GetWindow(HWND* window) override;
    STDMETHODIMP ContextSensitiveHelp(BOOL enterMode) override;

    // IOleInPlaceSite
    STDMETHODIMP CanInPlaceActivate() override;
    STDMETHODIMP OnInPlaceActivate() override;
    STDMETHODIMP OnUIActivate() override;
    STDMETHODIMP GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** document, RECT* position,
                                  RECT* clip, OLEINPLACEFRAMEINFO* frameInfo) override;
    STDMETHODIMP Scroll(SIZE extent) override;
    STDMETHODIMP OnUIDeactivate(BOOL undoable) override;
    STDMETHODIMP OnInPlaceDeactivate() override;
    STDMETHODIMP DiscardUndoState() override;
    STDMETHODIMP DeactivateAndUndo() override;
    STDMETHODIMP OnPosRectChange(const RECT* position) override;

    BrowserHost* const host;
};
