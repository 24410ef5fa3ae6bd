#pragma once
// What the host answers when loading the portal meets a security problem: a certificate that is not
// trusted (expired, for another name, from an unknown or revoked issuer) or a redirect into another zone.
// Every such problem ends the download, so the player is never asked to go on past it. The same object is
// the window that owns any prompt of the download's own (IWindowForBindingUI, which IHttpSecurity extends).

#include <ole2.h>
#include <urlmon.h>

class BrowserHost;

class HostSecurity final : public IHttpSecurity {
public:
    explicit HostSecurity(BrowserHost* owner) : host(owner) {}
    HostSecurity(const HostSecurity&) = delete;
    HostSecurity& operator=(const HostSecurity&) = delete;

    IHttpSecurity* HttpSecurity() { return this; }

    // IUnknown: IUnknown, IWindowForBindingUI and IHttpSecurity, all this one interface
    STDMETHODIMP QueryInterface(REFIID iid, void** object) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;

    // IWindowForBindingUI
    STDMETHODIMP GetWindow(REFGUID reason, HWND* window) override;

    // IHttpSecurity
    STDMETHODIMP OnSecurityProblem(DWORD problem) override;

    BrowserHost* const host;
};
