// Embedding the system's web browser control: what the control asks of the host while it is created,
// activated and placed, where it ends up, and what happens when it cannot be created.

#include "webhost/browser_host.h"
#include "webhost/host_calls.h"
#include "webhost/portal_urls.h"

#include <algorithm>
#include <exdisp.h>
#include <exdispid.h>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

std::vector<std::string> g_calls;

void RecordCall(const char* call) {
    g_calls.emplace_back(call);
}

size_t Position(const std::string& call) {
    return static_cast<size_t>(std::find(g_calls.begin(), g_calls.end(), call) - g_calls.begin());
}

bool Called(const std::string& call) {
    return Position(call) < g_calls.size();
}

std::string CallList() {
    std::string list;
    for (const std::string& call : g_calls) {
        list += call + "\n";
    }
    return list;
}

constexpr int kFrameWidth = 517;
constexpr int kFrameHeight = 311;

class Embedding : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(SUCCEEDED(OleInitialize(nullptr)));
        parent = CreateWindowExA(0, "STATIC", "", WS_POPUP | WS_VISIBLE, 0, 0, 640, 400, nullptr, nullptr,
                                 nullptr, nullptr);
        ASSERT_NE(parent, nullptr);
        frame = CreateWindowExA(0, "STATIC", "", WS_CHILD | WS_VISIBLE | SS_BLACKRECT, 12, 12, kFrameWidth,
                                kFrameHeight, parent, nullptr, nullptr, nullptr);
        ASSERT_NE(frame, nullptr);
        host = new BrowserHost;
        g_calls.clear();
        SetHostCallObserver(RecordCall);
    }

    void TearDown() override {
        SetHostCallObserver(nullptr);
        if (host->browser != nullptr) {
            host->browser->Close(OLECLOSE_NOSAVE);
            host->browser->Release();
        }
        host->Release();
        DestroyWindow(parent);
        OleUninitialize();
    }

    IWebBrowser2* Web() {
        IWebBrowser2* web = nullptr;
        if (FAILED(host->browser->QueryInterface(IID_IWebBrowser2, reinterpret_cast<void**>(&web)))) {
            return nullptr;
        }
        return web;
    }

    HWND parent = nullptr;
    HWND frame = nullptr;
    BrowserHost* host = nullptr;
};

TEST_F(Embedding, ActivatesTheControlInPlaceThroughTheSiteAndFrame) {
    host->Embed(frame);
    ASSERT_NE(host->browser, nullptr);
    EXPECT_EQ(host->window, frame);

    // Creation tells the storage the class; activation asks the site, then the frame.
    const std::vector<std::string> order = {
        "IStorage::SetClass",
        "IOleInPlaceSite::CanInPlaceActivate",
        "IOleInPlaceSite::OnInPlaceActivate",
        "IOleInPlaceSite::GetWindowContext",
        "IOleInPlaceSite::OnUIActivate",
    };
    for (size_t i = 0; i < order.size(); ++i) {
        ASSERT_TRUE(Called(order[i])) << order[i] << " missing from\n" << CallList();
        if (i > 0) {
            EXPECT_LT(Position(order[i - 1]), Position(order[i])) << CallList();
        }
    }
    EXPECT_TRUE(Called("IOleInPlaceFrame::GetWindow") || Called("IOleInPlaceSite::GetWindow")) << CallList();
    // Placing the control reports the new rectangle, which the host accepts without moving anything.
    EXPECT_TRUE(Called("IOleInPlaceSite::OnPosRectChange")) << CallList();
    // The control never gets a container, a moniker or storage streams from this host.
    EXPECT_FALSE(Called("IStorage::CreateStream")) << CallList();
}

TEST_F(Embedding, CoversTheWholeFrameFromItsTopLeftCorner) {
    host->Embed(frame);
    ASSERT_NE(host->browser, nullptr);
    IWebBrowser2* web = Web();
    ASSERT_NE(web, nullptr);
    long left = -1, top = -1, width = -1, height = -1;
    web->get_Left(&left);
    web->get_Top(&top);
    web->get_Width(&width);
    web->get_Height(&height);
    web->Release();
    EXPECT_EQ(left, 0);
    EXPECT_EQ(top, 0);
    EXPECT_EQ(width, kFrameWidth);
    EXPECT_EQ(height, kFrameHeight);

    // The control's own window lies inside the frame, at the frame's origin, over its whole client area.
    HWND control = GetWindow(frame, GW_CHILD);
    ASSERT_NE(control, nullptr);
    RECT bounds{};
    GetWindowRect(control, &bounds);
    MapWindowPoints(nullptr, frame, reinterpret_cast<POINT*>(&bounds), 2);
    EXPECT_EQ(bounds.left, 0);
    EXPECT_EQ(bounds.top, 0);
    EXPECT_EQ(bounds.right, kFrameWidth);
    EXPECT_EQ(bounds.bottom, kFrameHeight);
}

TEST_F(Embedding, NavigatesToThePortalStartPage) {
    host->Embed(frame);
    ASSERT_NE(host->browser, nullptr);
    IWebBrowser2* web = Web();
    ASSERT_NE(web, nullptr);
    BSTR location = nullptr;
    const HRESULT result = web->get_LocationURL(&location);
    web->Release();
    ASSERT_EQ(result, S_OK);
    ASSERT_NE(location, nullptr);
    char narrow[512] = {};
    WideCharToMultiByte(CP_ACP, 0, location, -1, narrow, sizeof narrow, nullptr, nullptr);
    SysFreeString(location);
    EXPECT_STREQ(narrow, kPortalStartUrl);
}

TEST_F(Embedding, ClosingDeactivatesTheControlThroughTheHost) {
    host->Embed(frame);
    ASSERT_NE(host->browser, nullptr);
    g_calls.clear();
    EXPECT_EQ(host->browser->Close(OLECLOSE_NOSAVE), S_OK);
    EXPECT_TRUE(Called("IOleInPlaceSite::OnInPlaceDeactivate")) << CallList();
    EXPECT_EQ(host->RefCount(), 1u);
}

// The system's own control, made by the system's class object, with a watch on its navigation events
// connected before the host gets it. Wine raises BeforeNavigate2 inside Navigate2, so the watch notes in
// the call log what the control's Silent property holds as the host's navigation starts.
class WatchedControlFactory : public IClassFactory, public IDispatch {
public:
    explicit WatchedControlFactory(IClassFactory* system) : system_(system) {}
    ~WatchedControlFactory() {
        if (point_ != nullptr) {
            point_->Unadvise(cookie_);
            point_->Release();
        }
        if (web_ != nullptr) {
            web_->Release();
        }
    }

    STDMETHODIMP QueryInterface(REFIID iid, void** object) override {
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IClassFactory)) {
            *object = static_cast<IClassFactory*>(this);
            return S_OK;
        }
        if (IsEqualIID(iid, IID_IDispatch) || IsEqualIID(iid, DIID_DWebBrowserEvents2)) {
            *object = static_cast<IDispatch*>(this);
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return 2; }
    STDMETHODIMP_(ULONG) Release() override { return 1; }

    STDMETHODIMP CreateInstance(IUnknown* outer, REFIID iid, void** object) override {
        const HRESULT made = system_->CreateInstance(outer, iid, object);
        if (FAILED(made) || web_ != nullptr) {
            return made;
        }
        IUnknown* control = static_cast<IUnknown*>(*object);
        IConnectionPointContainer* points = nullptr;
        if (SUCCEEDED(control->QueryInterface(IID_IWebBrowser2, reinterpret_cast<void**>(&web_))) &&
            SUCCEEDED(
                control->QueryInterface(IID_IConnectionPointContainer, reinterpret_cast<void**>(&points)))) {
            if (SUCCEEDED(points->FindConnectionPoint(DIID_DWebBrowserEvents2, &point_)) &&
                FAILED(point_->Advise(static_cast<IDispatch*>(this), &cookie_))) {
                point_->Release();
                point_ = nullptr;
            }
            points->Release();
        }
        return made;
    }
    STDMETHODIMP LockServer(BOOL) override { return S_OK; }

    STDMETHODIMP GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    STDMETHODIMP Invoke(DISPID event, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
        if (event == DISPID_BEFORENAVIGATE2) {
            VARIANT_BOOL silent = VARIANT_FALSE;
            web_->get_Silent(&silent);
            RecordCall(silent == VARIANT_TRUE ? "BeforeNavigate2, silent" : "BeforeNavigate2, not silent");
        }
        return S_OK;
    }

private:
    IClassFactory* system_;
    IWebBrowser2* web_ = nullptr;
    IConnectionPoint* point_ = nullptr;
    DWORD cookie_ = 0;
};

// Silent is set before the navigation starts, so that no dialog of the control's (a script error on the
// start page, a prompt) can open over the launcher.
TEST_F(Embedding, SilencesTheControlBeforeItNavigates) {
    IClassFactory* system = nullptr;
    ASSERT_EQ(CoGetClassObject(CLSID_WebBrowser, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory,
                               reinterpret_cast<void**>(&system)),
              S_OK);
    {
        WatchedControlFactory factory(system);
        DWORD cookie = 0;
        ASSERT_EQ(CoRegisterClassObject(CLSID_WebBrowser, static_cast<IClassFactory*>(&factory),
                                        CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE, &cookie),
                  S_OK);
        host->Embed(frame);
        CoRevokeClassObject(cookie);
        ASSERT_NE(host->browser, nullptr);
        EXPECT_TRUE(Called("BeforeNavigate2, silent")) << CallList();
        EXPECT_FALSE(Called("BeforeNavigate2, not silent")) << CallList();
    }
    system->Release();
}

// A class object registered for the browser's class stands in for a system whose control cannot be made.
class RefusingFactory : public IClassFactory {
public:
    STDMETHODIMP QueryInterface(REFIID iid, void** object) override {
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IClassFactory)) {
            *object = this;
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return 2; }
    STDMETHODIMP_(ULONG) Release() override { return 1; }
    STDMETHODIMP CreateInstance(IUnknown*, REFIID, void** object) override {
        ++requests;
        *object = nullptr;
        return E_OUTOFMEMORY;
    }
    STDMETHODIMP LockServer(BOOL) override { return S_OK; }

    int requests = 0;
};

TEST_F(Embedding, LeavesNoControlWhenItCannotBeCreated) {
    RefusingFactory factory;
    DWORD cookie = 0;
    ASSERT_EQ(
        CoRegisterClassObject(CLSID_WebBrowser, &factory, CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE, &cookie),
        S_OK);
    host->Embed(frame);
    CoRevokeClassObject(cookie);

    EXPECT_EQ(factory.requests, 1);
    EXPECT_EQ(host->browser, nullptr);
    EXPECT_EQ(host->window, frame);
    EXPECT_EQ(GetWindow(frame, GW_CHILD), nullptr);
    EXPECT_FALSE(Called("IOleInPlaceSite::GetWindowContext")) << CallList();
}

} // namespace
