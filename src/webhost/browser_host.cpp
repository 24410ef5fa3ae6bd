#include "webhost/browser_host.h"

#include "webhost/portal_urls.h"

#include <cstring>
#include <exdisp.h>
#include <memory>
#include <new>

BSTR AnsiToBstr(const char* text) {
    const size_t length = std::strlen(text);
    std::unique_ptr<wchar_t[]> wide(new (std::nothrow) wchar_t[length + 1]());
    if (!wide) {
        return nullptr;
    }
    MultiByteToWideChar(CP_ACP, MB_PRECOMPOSED, text, -1, wide.get(), static_cast<int>(length + 1));
    return SysAllocString(wide.get());
}

namespace {

// Places the control over the whole frame, silences it and sends it to the start page. Silent comes before
// the navigation, so that not even the start page's first script error opens a dialog.
void Navigate(IWebBrowser2* web, const RECT& area) {
    web->put_Left(0);
    web->put_Top(0);
    web->put_Width(area.right);
    web->put_Height(area.bottom);
    web->put_Silent(VARIANT_TRUE);

    VARIANT url;
    VariantInit(&url);
    url.vt = VT_BSTR;
    url.bstrVal = AnsiToBstr(kPortalStartUrl);
    if (url.bstrVal == nullptr) {
        return;
    }
    VARIANT empty;
    VariantInit(&empty);
    web->Navigate2(&url, &empty, &empty, &empty, &empty);
    VariantClear(&url);
}

} // namespace

void BrowserHost::Embed(HWND frameWindow) {
    window = frameWindow;

    IOleObject* control = nullptr;
    if (FAILED(OleCreate(CLSID_WebBrowser, IID_IOleObject, OLERENDER_DRAW, nullptr, site.ClientSite(),
                         &storage, reinterpret_cast<void**>(&control))) ||
        control == nullptr) {
        return;
    }
    browser = control;

    browser->SetHostNames(L"Web Host", L"Web View");
    OleSetContainedObject(browser, TRUE);

    RECT area{};
    GetClientRect(window, &area);
    browser->DoVerb(OLEIVERB_SHOW, nullptr, site.ClientSite(), -1, window, &area);

    IWebBrowser2* web = nullptr;
    if (FAILED(browser->QueryInterface(IID_IWebBrowser2, reinterpret_cast<void**>(&web))) || web == nullptr) {
        return;
    }
    Navigate(web, area);
    web->Release();
}
