// The host's COM interfaces as the browser control sees them: results, out-parameters, identity and
// reference rules.

#include "webhost/browser_host.h"

#include <exdisp.h>
#include <gtest/gtest.h>
#include <wininet.h>

namespace {

// A host that reports its own destruction.
class ObservedHost : public BrowserHost {
public:
    explicit ObservedHost(bool* destroyed) : destroyed_(destroyed) {}
    ~ObservedHost() override { *destroyed_ = true; }

private:
    bool* destroyed_;
};

void* const kUntouched = reinterpret_cast<void*>(static_cast<INT_PTR>(0x5A5A5A5A));

template <typename T> T* Sentinel() {
    return static_cast<T*>(kUntouched);
}

class HostInterfaces : public ::testing::Test {
protected:
    void SetUp() override {
        window =
            CreateWindowExA(0, "STATIC", "", WS_POPUP, 10, 20, 300, 200, nullptr, nullptr, nullptr, nullptr);
        ASSERT_NE(window, nullptr);
        host = new ObservedHost(&destroyed);
        host->window = window;
    }
    void TearDown() override {
        if (!destroyed) {
            host->Release();
        }
        DestroyWindow(window);
    }

    IOleClientSite* ClientSite() { return host->site.ClientSite(); }
    IOleInPlaceSite* InPlaceSite() { return host->site.InPlaceSite(); }
    IServiceProvider* ServiceProvider() { return host->site.ServiceProvider(); }
    IHttpSecurity* Security() { return host->security.HttpSecurity(); }
    IOleInPlaceFrame* Frame() { return host->frame.InPlaceFrame(); }
    IStorage* Storage() { return &host->storage; }

    HWND window = nullptr;
    bool destroyed = false;
    BrowserHost* host = nullptr;
};

TEST_F(HostInterfaces, SiteIdentityIsTheClientSiteWhicheverInterfaceIsAsked) {
    struct Face {
        const IID* iid;
        IUnknown* pointer;
    };
    const Face faces[] = {
        {&IID_IOleClientSite, ClientSite()},
        {&IID_IOleInPlaceSite, InPlaceSite()},
        {&IID_IServiceProvider, ServiceProvider()},
    };
    for (const Face& through : faces) {
        void* object = nullptr;
        ASSERT_EQ(through.pointer->QueryInterface(IID_IUnknown, &object), S_OK);
        EXPECT_EQ(object, static_cast<void*>(ClientSite()));
        for (const Face& asked : faces) {
            object = nullptr;
            ASSERT_EQ(through.pointer->QueryInterface(*asked.iid, &object), S_OK);
            EXPECT_EQ(object, static_cast<void*>(asked.pointer));
        }
    }
    EXPECT_NE(static_cast<void*>(ClientSite()), static_cast<void*>(InPlaceSite()));
    EXPECT_NE(static_cast<void*>(ClientSite()), static_cast<void*>(ServiceProvider()));
}

TEST_F(HostInterfaces, SiteRefusesEveryOtherInterfaceWithNull) {
    for (const IID* iid : {&IID_IWebBrowser2, &IID_IOleInPlaceFrame, &IID_IStorage, &IID_IOleWindow,
                           &IID_IOleContainer, &IID_IDispatch}) {
        void* object = kUntouched;
        EXPECT_EQ(ClientSite()->QueryInterface(*iid, &object), E_NOINTERFACE);
        EXPECT_EQ(object, nullptr);
        object = kUntouched;
        EXPECT_EQ(InPlaceSite()->QueryInterface(*iid, &object), E_NOINTERFACE);
        EXPECT_EQ(object, nullptr);
    }
    EXPECT_EQ(ClientSite()->QueryInterface(IID_IUnknown, nullptr), E_POINTER);
}

TEST_F(HostInterfaces, FrameAndStorageAnswerQueryInterfaceWithNotImplementedAndLeaveTheOutParameter) {
    for (const IID* iid : {&IID_IUnknown, &IID_IOleInPlaceFrame, &IID_IStorage}) {
        void* object = kUntouched;
        EXPECT_EQ(Frame()->QueryInterface(*iid, &object), E_NOTIMPL);
        EXPECT_EQ(object, kUntouched);
        EXPECT_EQ(Storage()->QueryInterface(*iid, &object), E_NOTIMPL);
        EXPECT_EQ(object, kUntouched);
    }
}

TEST_F(HostInterfaces, MembersCountNothingAndNeverEndTheirHost) {
    IUnknown* members[] = {ClientSite(), InPlaceSite(), ServiceProvider(), Frame(), Storage(), Security()};
    for (IUnknown* member : members) {
        for (int i = 0; i < 3; ++i) {
            EXPECT_EQ(member->AddRef(), 1u);
        }
        for (int i = 0; i < 5; ++i) {
            EXPECT_EQ(member->Release(), 1u);
        }
    }
    EXPECT_EQ(host->RefCount(), 1u);
    EXPECT_FALSE(destroyed);
}

TEST_F(HostInterfaces, HostLivesByItsOwnCount) {
    EXPECT_EQ(host->AddRef(), 2u);
    EXPECT_EQ(host->Release(), 1u);
    EXPECT_FALSE(destroyed);
    EXPECT_EQ(host->Release(), 0u);
    EXPECT_TRUE(destroyed);
}

TEST_F(HostInterfaces, ClientSiteOperations) {
    EXPECT_EQ(ClientSite()->SaveObject(), E_NOTIMPL);
    IMoniker* moniker = Sentinel<IMoniker>();
    EXPECT_EQ(ClientSite()->GetMoniker(OLEGETMONIKER_ONLYIFTHERE, OLEWHICHMK_CONTAINER, &moniker), E_NOTIMPL);
    EXPECT_EQ(moniker, Sentinel<IMoniker>());
    IOleContainer* container = Sentinel<IOleContainer>();
    EXPECT_EQ(ClientSite()->GetContainer(&container), E_NOINTERFACE);
    EXPECT_EQ(container, nullptr);
    EXPECT_EQ(ClientSite()->ShowObject(), S_OK);
    EXPECT_EQ(ClientSite()->OnShowWindow(TRUE), E_NOTIMPL);
    EXPECT_EQ(ClientSite()->RequestNewObjectLayout(), E_NOTIMPL);
}

TEST_F(HostInterfaces, InPlaceSiteOperations) {
    HWND handed = nullptr;
    EXPECT_EQ(InPlaceSite()->GetWindow(&handed), S_OK);
    EXPECT_EQ(handed, window);
    EXPECT_EQ(InPlaceSite()->ContextSensitiveHelp(TRUE), E_NOTIMPL);
    EXPECT_EQ(InPlaceSite()->CanInPlaceActivate(), S_OK);
    EXPECT_EQ(InPlaceSite()->OnInPlaceActivate(), S_OK);
    EXPECT_EQ(InPlaceSite()->OnUIActivate(), S_OK);
    EXPECT_EQ(InPlaceSite()->Scroll(SIZE{5, 5}), E_NOTIMPL);
    EXPECT_EQ(InPlaceSite()->OnUIDeactivate(FALSE), S_OK);
    EXPECT_EQ(InPlaceSite()->OnInPlaceDeactivate(), S_OK);
    EXPECT_EQ(InPlaceSite()->DiscardUndoState(), E_NOTIMPL);
    EXPECT_EQ(InPlaceSite()->DeactivateAndUndo(), E_NOTIMPL);
}

TEST_F(HostInterfaces, PositionChangesMoveNothing) {
    const RECT requested{40, 50, 90, 120};
    EXPECT_EQ(InPlaceSite()->OnPosRectChange(&requested), S_OK);
    RECT bounds{};
    GetWindowRect(window, &bounds);
    EXPECT_EQ(bounds.left, 10);
    EXPECT_EQ(bounds.top, 20);
    EXPECT_EQ(bounds.right - bounds.left, 300);
    EXPECT_EQ(bounds.bottom - bounds.top, 200);
}

TEST_F(HostInterfaces, WindowContextIsTheHostWindowAndKeepsTheCallersSize) {
    IOleInPlaceFrame* frame = nullptr;
    IOleInPlaceUIWindow* document = Sentinel<IOleInPlaceUIWindow>();
    RECT position{-1, -1, -1, -1};
    RECT clip{-2, -2, -2, -2};
    OLEINPLACEFRAMEINFO info;
    info.cb = 12345;
    info.fMDIApp = TRUE;
    info.hwndFrame = nullptr;
    info.haccel = reinterpret_cast<HACCEL>(kUntouched);
    info.cAccelEntries = 7;

    ASSERT_EQ(InPlaceSite()->GetWindowContext(&frame, &document, &position, &clip, &info), S_OK);
    EXPECT_EQ(frame, Frame());
    EXPECT_EQ(document, nullptr);
    RECT client{};
    GetClientRect(window, &client);
    EXPECT_EQ(client.right, 300);
    EXPECT_TRUE(EqualRect(&position, &client));
    EXPECT_TRUE(EqualRect(&clip, &client));
    EXPECT_EQ(info.cb, 12345u);
    EXPECT_EQ(info.fMDIApp, FALSE);
    EXPECT_EQ(info.hwndFrame, window);
    EXPECT_EQ(info.haccel, nullptr);
    EXPECT_EQ(info.cAccelEntries, 0u);
}

TEST_F(HostInterfaces, FrameOperations) {
    HWND handed = nullptr;
    EXPECT_EQ(Frame()->GetWindow(&handed), S_OK);
    EXPECT_EQ(handed, window);
    EXPECT_EQ(Frame()->ContextSensitiveHelp(FALSE), E_NOTIMPL);
    RECT border{1, 2, 3, 4};
    EXPECT_EQ(Frame()->GetBorder(&border), E_NOTIMPL);
    EXPECT_EQ(border.left, 1);
    EXPECT_EQ(border.bottom, 4);
    BORDERWIDTHS widths{1, 1, 1, 1};
    EXPECT_EQ(Frame()->RequestBorderSpace(&widths), E_NOTIMPL);
    EXPECT_EQ(Frame()->SetBorderSpace(&widths), E_NOTIMPL);
    EXPECT_EQ(Frame()->SetActiveObject(nullptr, L"Web View"), S_OK);
    OLEMENUGROUPWIDTHS groups{};
    groups.width[0] = 3;
    EXPECT_EQ(Frame()->InsertMenus(nullptr, &groups), E_NOTIMPL);
    EXPECT_EQ(groups.width[0], 3);
    EXPECT_EQ(Frame()->SetMenu(nullptr, nullptr, nullptr), S_OK);
    EXPECT_EQ(Frame()->RemoveMenus(nullptr), E_NOTIMPL);
    EXPECT_EQ(Frame()->SetStatusText(L"Loading"), S_OK);
    EXPECT_EQ(Frame()->EnableModeless(TRUE), S_OK);
    MSG message{};
    EXPECT_EQ(Frame()->TranslateAccelerator(&message, 0), E_NOTIMPL);
}

TEST_F(HostInterfaces, StorageKeepsNothingAndLeavesEveryOutParameter) {
    IStream* stream = Sentinel<IStream>();
    IStorage* storage = Sentinel<IStorage>();
    IEnumSTATSTG* elements = Sentinel<IEnumSTATSTG>();
    STATSTG stat{};
    stat.cbSize.QuadPart = 77;
    EXPECT_EQ(Storage()->CreateStream(L"a", STGM_CREATE, 0, 0, &stream), E_NOTIMPL);
    EXPECT_EQ(Storage()->OpenStream(L"a", nullptr, STGM_READ, 0, &stream), E_NOTIMPL);
    EXPECT_EQ(stream, Sentinel<IStream>());
    EXPECT_EQ(Storage()->CreateStorage(L"b", STGM_CREATE, 0, 0, &storage), E_NOTIMPL);
    EXPECT_EQ(Storage()->OpenStorage(L"b", nullptr, STGM_READ, nullptr, 0, &storage), E_NOTIMPL);
    EXPECT_EQ(storage, Sentinel<IStorage>());
    EXPECT_EQ(Storage()->CopyTo(0, nullptr, nullptr, nullptr), E_NOTIMPL);
    EXPECT_EQ(Storage()->MoveElementTo(L"a", nullptr, L"c", STGMOVE_MOVE), E_NOTIMPL);
    EXPECT_EQ(Storage()->Commit(STGC_DEFAULT), E_NOTIMPL);
    EXPECT_EQ(Storage()->Revert(), E_NOTIMPL);
    EXPECT_EQ(Storage()->EnumElements(0, nullptr, 0, &elements), E_NOTIMPL);
    EXPECT_EQ(elements, Sentinel<IEnumSTATSTG>());
    EXPECT_EQ(Storage()->DestroyElement(L"a"), E_NOTIMPL);
    EXPECT_EQ(Storage()->RenameElement(L"a", L"d"), E_NOTIMPL);
    EXPECT_EQ(Storage()->SetElementTimes(L"a", nullptr, nullptr, nullptr), E_NOTIMPL);
    EXPECT_EQ(Storage()->SetClass(CLSID_WebBrowser), S_OK);
    EXPECT_EQ(Storage()->SetStateBits(1, 1), E_NOTIMPL);
    EXPECT_EQ(Storage()->Stat(&stat, STATFLAG_DEFAULT), E_NOTIMPL);
    EXPECT_EQ(stat.cbSize.QuadPart, 77u);
}

// The site serves one thing: the security object, asked for as the service IHttpSecurity (urlmon's question
// when a download meets a security problem) or IWindowForBindingUI (the owner of a download's prompt). A
// service that would let a page change zones, answer logins or reach the browser is not served.
TEST_F(HostInterfaces, ServiceProviderServesTheSecurityObjectAlone) {
    struct Row {
        const GUID* service;
        const IID* iid;
        HRESULT result;
    };
    const Row rows[] = {
        {&IID_IHttpSecurity, &IID_IHttpSecurity, S_OK},
        {&IID_IHttpSecurity, &IID_IWindowForBindingUI, S_OK},
        {&IID_IHttpSecurity, &IID_IUnknown, S_OK},
        {&IID_IWindowForBindingUI, &IID_IWindowForBindingUI, S_OK},
        {&IID_IWindowForBindingUI, &IID_IHttpSecurity, S_OK},
        {&IID_IHttpSecurity, &IID_IOleClientSite, E_NOINTERFACE},
        {&IID_IHttpSecurity, &IID_IAuthenticate, E_NOINTERFACE},
        {&IID_IAuthenticate, &IID_IAuthenticate, E_NOINTERFACE},
        {&SID_SInternetSecurityManager, &IID_IInternetSecurityManager, E_NOINTERFACE},
        {&IID_IWebBrowserApp, &IID_IWebBrowser2, E_NOINTERFACE},
        {&IID_IOleClientSite, &IID_IOleClientSite, E_NOINTERFACE},
        {&IID_IServiceProvider, &IID_IServiceProvider, E_NOINTERFACE},
    };
    for (const Row& row : rows) {
        void* object = kUntouched;
        EXPECT_EQ(ServiceProvider()->QueryService(*row.service, *row.iid, &object), row.result)
            << "row " << (&row - rows);
        EXPECT_EQ(object, row.result == S_OK ? static_cast<void*>(Security()) : nullptr)
            << "row " << (&row - rows);
    }
    EXPECT_EQ(ServiceProvider()->QueryService(IID_IHttpSecurity, IID_IHttpSecurity, nullptr), E_POINTER);
}

// Whatever the problem, the download ends (E_ABORT): never RPC_E_RETRY, which would go on past it, nor
// S_FALSE, which would ask the player. Asked the way urlmon asks, through the site's service provider.
TEST_F(HostInterfaces, SecurityEndsTheDownloadForEveryProblem) {
    IHttpSecurity* security = nullptr;
    ASSERT_EQ(ServiceProvider()->QueryService(IID_IHttpSecurity, IID_IHttpSecurity,
                                              reinterpret_cast<void**>(&security)),
              S_OK);
    const DWORD problems[] = {
        ERROR_INTERNET_SEC_CERT_DATE_INVALID,
        ERROR_INTERNET_SEC_CERT_CN_INVALID,
        ERROR_INTERNET_INVALID_CA,
        ERROR_INTERNET_SEC_CERT_REVOKED,
        ERROR_INTERNET_SEC_CERT_ERRORS,
        ERROR_INTERNET_SEC_CERT_REV_FAILED,
        ERROR_INTERNET_HTTP_TO_HTTPS_ON_REDIR,
        ERROR_INTERNET_HTTPS_TO_HTTP_ON_REDIR,
        ERROR_HTTP_REDIRECT_NEEDS_CONFIRMATION,
        ERROR_INTERNET_CLIENT_AUTH_CERT_NEEDED,
    };
    for (DWORD problem : problems) {
        EXPECT_EQ(security->OnSecurityProblem(problem), E_ABORT) << problem;
    }
}

// A prompt of the download's own is owned by the launcher window, the top-level window around the frame
// the control lives in, for any reason it is asked; with no window yet there is none (S_FALSE).
TEST_F(HostInterfaces, BindingPromptsBelongToTheLauncherWindow) {
    HWND frame = CreateWindowExA(0, "STATIC", "", WS_CHILD, 5, 5, 50, 50, window, nullptr, nullptr, nullptr);
    ASSERT_NE(frame, nullptr);
    host->window = frame;
    IWindowForBindingUI* binding = nullptr;
    ASSERT_EQ(ServiceProvider()->QueryService(IID_IWindowForBindingUI, IID_IWindowForBindingUI,
                                              reinterpret_cast<void**>(&binding)),
              S_OK);
    for (const GUID* reason : {&IID_IHttpSecurity, &IID_IAuthenticate}) {
        HWND owner = nullptr;
        EXPECT_EQ(binding->GetWindow(*reason, &owner), S_OK);
        EXPECT_EQ(owner, window);
    }
    EXPECT_EQ(binding->GetWindow(IID_IHttpSecurity, nullptr), E_INVALIDARG);

    host->window = nullptr;
    HWND owner = reinterpret_cast<HWND>(kUntouched);
    EXPECT_EQ(binding->GetWindow(IID_IHttpSecurity, &owner), S_FALSE);
    EXPECT_EQ(owner, nullptr);
}

TEST(AnsiToBstr, ConvertsTheWholeUrl) {
    BSTR converted = AnsiToBstr("http://127.0.0.1:18218/?mini=2&gameid=218");
    ASSERT_NE(converted, nullptr);
    EXPECT_STREQ(converted, L"http://127.0.0.1:18218/?mini=2&gameid=218");
    EXPECT_EQ(SysStringLen(converted), 41u);
    SysFreeString(converted);
}

} // namespace
