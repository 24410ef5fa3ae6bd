// The browser's teardown after the launcher window: its fixed order, and what it skips when the window
// created less than usual.

#include "webhost/browser_host.h"
#include "app/launcher_app.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

std::vector<std::string> g_steps;

class RecordingHost : public BrowserHost {
public:
    ~RecordingHost() override { g_steps.emplace_back("host destroyed"); }
};

// Stands in for the browser control: records what the teardown asks of it, and checks that its host is
// still alive with its one reference while it is closed and released.
class RecordingControl : public IOleObject {
public:
    explicit RecordingControl(BrowserHost* owner) : host(owner) {}

    STDMETHODIMP QueryInterface(REFIID, void** object) override {
        *object = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++references; }
    STDMETHODIMP_(ULONG) Release() override {
        g_steps.emplace_back("control released, host refs " + std::to_string(host->RefCount()));
        return --references;
    }
    STDMETHODIMP Close(DWORD saveOption) override {
        g_steps.emplace_back("control closed " + std::to_string(saveOption) + ", host refs " +
                             std::to_string(host->RefCount()));
        return S_OK;
    }

    STDMETHODIMP SetClientSite(IOleClientSite*) override { return Unexpected("SetClientSite"); }
    STDMETHODIMP GetClientSite(IOleClientSite**) override { return Unexpected("GetClientSite"); }
    STDMETHODIMP SetHostNames(LPCOLESTR, LPCOLESTR) override { return Unexpected("SetHostNames"); }
    STDMETHODIMP SetMoniker(DWORD, IMoniker*) override { return Unexpected("SetMoniker"); }
    STDMETHODIMP GetMoniker(DWORD, DWORD, IMoniker**) override { return Unexpected("GetMoniker"); }
    STDMETHODIMP InitFromData(IDataObject*, BOOL, DWORD) override { return Unexpected("InitFromData"); }
    STDMETHODIMP GetClipboardData(DWORD, IDataObject**) override { return Unexpected("GetClipboardData"); }
    STDMETHODIMP DoVerb(LONG, LPMSG, IOleClientSite*, LONG, HWND, LPCRECT) override {
        return Unexpected("DoVerb");
    }
    STDMETHODIMP EnumVerbs(IEnumOLEVERB**) override { return Unexpected("EnumVerbs"); }
    STDMETHODIMP Update() override { return Unexpected("Update"); }
    STDMETHODIMP IsUpToDate() override { return Unexpected("IsUpToDate"); }
    STDMETHODIMP GetUserClassID(CLSID*) override { return Unexpected("GetUserClassID"); }
    STDMETHODIMP GetUserType(DWORD, LPOLESTR*) override { return Unexpected("GetUserType"); }
    STDMETHODIMP SetExtent(DWORD, SIZEL*) override { return Unexpected("SetExtent"); }
    STDMETHODIMP GetExtent(DWORD, SIZEL*) override { return Unexpected("GetExtent"); }
    STDMETHODIMP Advise(IAdviseSink*, DWORD*) override { return Unexpected("Advise"); }
    STDMETHODIMP Unadvise(DWORD) override { return Unexpected("Unadvise"); }
    STDMETHODIMP EnumAdvise(IEnumSTATDATA**) override { return Unexpected("EnumAdvise"); }
    STDMETHODIMP GetMiscStatus(DWORD, DWORD*) override { return Unexpected("GetMiscStatus"); }
    STDMETHODIMP SetColorScheme(LOGPALETTE*) override { return Unexpected("SetColorScheme"); }

    ULONG references = 1;

private:
    HRESULT Unexpected(const char* operation) {
        g_steps.emplace_back(std::string("unexpected ") + operation);
        return E_NOTIMPL;
    }

    BrowserHost* host;
};

void WINAPI RecordOleUninitialize() {
    g_steps.emplace_back("OLE uninitialised");
}

class Teardown : public ::testing::Test {
protected:
    void SetUp() override { g_steps.clear(); }
};

TEST_F(Teardown, ClosesWithoutSavingThenReleasesControlThenHostThenOle) {
    RecordingHost* host = new RecordingHost;
    RecordingControl control(host);
    host->browser = &control;

    TearDownBrowser(host, true, RecordOleUninitialize);

    const std::vector<std::string> expected = {
        "control closed 1, host refs 1", // OLECLOSE_NOSAVE, with the host still alive
        "control released, host refs 1",
        "host destroyed",
        "OLE uninitialised",
    };
    EXPECT_EQ(g_steps, expected);
    EXPECT_EQ(control.references, 0u);
}

TEST_F(Teardown, WithoutAControlOnlyTheHostAndOleAreTakenDown) {
    TearDownBrowser(new RecordingHost, true, RecordOleUninitialize);
    const std::vector<std::string> expected = {"host destroyed", "OLE uninitialised"};
    EXPECT_EQ(g_steps, expected);
}

TEST_F(Teardown, WithoutAHostOnlyOleIsUninitialised) {
    TearDownBrowser(nullptr, true, RecordOleUninitialize);
    const std::vector<std::string> expected = {"OLE uninitialised"};
    EXPECT_EQ(g_steps, expected);
}

TEST_F(Teardown, OleIsNotUninitialisedWhenTheWindowNeverInitialisedIt) {
    TearDownBrowser(nullptr, false, RecordOleUninitialize);
    EXPECT_TRUE(g_steps.empty());

    RecordingHost* host = new RecordingHost;
    RecordingControl control(host);
    host->browser = &control;
    TearDownBrowser(host, false, RecordOleUninitialize);
    const std::vector<std::string> expected = {"control closed 1, host refs 1",
                                               "control released, host refs 1", "host destroyed"};
    EXPECT_EQ(g_steps, expected);
}

} // namespace
