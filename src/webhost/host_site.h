#pragma once
// The site in which the browser control lives: one object with three interfaces that share one identity.
// QueryInterface through any of them answers for all three; IUnknown is the IOleClientSite interface.
// Its service provider hands out the host's security object and nothing else.

#include <ole2.h>
#include <servprov.h>

class BrowserHost;

class HostSite final : public IOleClientSite, public IOleInPlaceSite, public IServiceProvider {
public:
    explicit HostSite(BrowserHost* owner) : host(owner) {}
    HostSite(const HostSite&) = delete;
    HostSite& operator=(const HostSite&) = delete;

    IOleClientSite* ClientSite() { return static_cast<IOleClientSite*>(this); }
    IOleInPlaceSite* InPlaceSite() { return static_cast<IOleInPlaceSite*>(this); }
    IServiceProvider* ServiceProvider() { return static_cast<IServiceProvider*>(this); }

    // IUnknown, shared by all three interfaces
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

    // IServiceProvider
    STDMETHODIMP QueryService(REFGUID service, REFIID iid, void** object) override;

    BrowserHost* const host;
};
