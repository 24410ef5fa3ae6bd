#pragma once
// A scripted Direct3D 9 object for the display mode tests: a COM object implementing all of IDirect3D9.
// Each format has its own CheckDeviceType result and mode table; chosen indexes of EnumAdapterModes fail.
// Every call is logged, and Release is counted.

#include <d3d9.h>

#include <map>
#include <set>
#include <string>
#include <vector>

// A mode as the adapter reports it.
inline D3DDISPLAYMODE AdapterMode(UINT width, UINT height, UINT refresh = 60,
                                  D3DFORMAT format = D3DFMT_X8R8G8B8) {
    D3DDISPLAYMODE mode{};
    mode.Width = width;
    mode.Height = height;
    mode.RefreshRate = refresh;
    mode.Format = format;
    return mode;
}

class FakeDirect3D9 final : public IDirect3D9 {
public:
    // Script.
    std::map<D3DFORMAT, HRESULT> checkResults; // formats not listed are refused (D3DERR_NOTAVAILABLE)
    std::map<D3DFORMAT, std::vector<D3DDISPLAYMODE>> modeTables;
    std::set<UINT> failingIndexes; // EnumAdapterModes fails for these, in any format

    // Record.
    std::vector<std::string> calls; // e.g. "CheckDeviceType(0,HAL,21,21,0)", "EnumAdapterModes(0,22,3)"
    int releaseCalls = 0;
    ULONG references = 1; // the caller of the creation function holds the first reference
    bool usedAfterFinalRelease = false;

    FakeDirect3D9() = default;
    FakeDirect3D9(const FakeDirect3D9&) = delete;
    FakeDirect3D9& operator=(const FakeDirect3D9&) = delete;
    virtual ~FakeDirect3D9() = default;

    // IUnknown
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
        Log("QueryInterface");
        if (object == nullptr) {
            return E_POINTER;
        }
        if (IsEqualIID(riid, __uuidof(IUnknown)) || IsEqualIID(riid, __uuidof(IDirect3D9))) {
            *object = static_cast<IDirect3D9*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override {
        Log("AddRef");
        return ++references;
    }
    ULONG STDMETHODCALLTYPE Release() override {
        Log("Release");
        ++releaseCalls;
        if (references > 0) {
            --references;
        }
        return references;
    }

    // IDirect3D9
    HRESULT STDMETHODCALLTYPE RegisterSoftwareDevice(void*) override {
        Log("RegisterSoftwareDevice");
        return E_NOTIMPL;
    }
    UINT STDMETHODCALLTYPE GetAdapterCount() override {
        Log("GetAdapterCount");
        return 1;
    }
    HRESULT STDMETHODCALLTYPE GetAdapterIdentifier(UINT, DWORD, D3DADAPTER_IDENTIFIER9*) override {
        Log("GetAdapterIdentifier");
        return D3DERR_INVALIDCALL;
    }
    UINT STDMETHODCALLTYPE GetAdapterModeCount(UINT adapter, D3DFORMAT format) override {
        Log("GetAdapterModeCount(" + std::to_string(adapter) + "," + std::to_string(format) + ")");
        const auto table = modeTables.find(format);
        return table == modeTables.end() ? 0 : static_cast<UINT>(table->second.size());
    }
    HRESULT STDMETHODCALLTYPE EnumAdapterModes(UINT adapter, D3DFORMAT format, UINT index,
                                               D3DDISPLAYMODE* mode) override {
        Log("EnumAdapterModes(" + std::to_string(adapter) + "," + std::to_string(format) + "," +
            std::to_string(index) + ")");
        const auto table = modeTables.find(format);
        if (mode == nullptr || table == modeTables.end() || index >= table->second.size() ||
            failingIndexes.count(index) != 0) {
            return D3DERR_INVALIDCALL;
        }
        *mode = table->second[index];
        return D3D_OK;
    }
    HRESULT STDMETHODCALLTYPE GetAdapterDisplayMode(UINT, D3DDISPLAYMODE*) override {
        Log("GetAdapterDisplayMode");
        return D3DERR_INVALIDCALL;
    }
    HRESULT STDMETHODCALLTYPE CheckDeviceType(UINT adapter, D3DDEVTYPE type, D3DFORMAT displayFormat,
                                              D3DFORMAT backBufferFormat, BOOL windowed) override {
        Log("CheckDeviceType(" + std::to_string(adapter) + "," + (type == D3DDEVTYPE_HAL ? "HAL" : "other") +
            "," + std::to_string(displayFormat) + "," + std::to_string(backBufferFormat) + "," +
            std::to_string(windowed) + ")");
        const auto result = checkResults.find(displayFormat);
        return result == checkResults.end() ? D3DERR_NOTAVAILABLE : result->second;
    }
    HRESULT STDMETHODCALLTYPE CheckDeviceFormat(UINT, D3DDEVTYPE, D3DFORMAT, DWORD, D3DRESOURCETYPE,
                                                D3DFORMAT) override {
        Log("CheckDeviceFormat");
        return D3DERR_NOTAVAILABLE;
    }
    HRESULT STDMETHODCALLTYPE CheckDeviceMultiSampleType(UINT, D3DDEVTYPE, D3DFORMAT, BOOL,
                                                         D3DMULTISAMPLE_TYPE, DWORD*) override {
        Log("CheckDeviceMultiSampleType");
        return D3DERR_NOTAVAILABLE;
    }
    HRESULT STDMETHODCALLTYPE CheckDepthStencilMatch(UINT, D3DDEVTYPE, D3DFORMAT, D3DFORMAT,
                                                     D3DFORMAT) override {
        Log("CheckDepthStencilMatch");
        return D3DERR_NOTAVAILABLE;
    }
    HRESULT STDMETHODCALLTYPE CheckDeviceFormatConversion(UINT, D3DDEVTYPE, D3DFORMAT, D3DFORMAT) override {
        Log("CheckDeviceFormatConversion");
        return D3DERR_NOTAVAILABLE;
    }
    HRESULT STDMETHODCALLTYPE GetDeviceCaps(UINT, D3DDEVTYPE, D3DCAPS9*) override {
        Log("GetDeviceCaps");
        return D3DERR_INVALIDCALL;
    }
    HMONITOR STDMETHODCALLTYPE GetAdapterMonitor(UINT) override {
        Log("GetAdapterMonitor");
        return nullptr;
    }
    HRESULT STDMETHODCALLTYPE CreateDevice(UINT, D3DDEVTYPE, HWND, DWORD, D3DPRESENT_PARAMETERS*,
                                           IDirect3DDevice9** device) override {
        Log("CreateDevice");
        if (device != nullptr) {
            *device = nullptr;
        }
        return D3DERR_NOTAVAILABLE;
    }

    // The calls whose log entry starts with prefix, in order.
    std::vector<std::string> CallsStartingWith(const std::string& prefix) const {
        std::vector<std::string> matching;
        for (const std::string& call : calls) {
            if (call.compare(0, prefix.size(), prefix) == 0) {
                matching.push_back(call);
            }
        }
        return matching;
    }

private:
    void Log(const std::string& call) {
        if (references == 0) {
            usedAfterFinalRelease = true;
        }
        calls.push_back(call);
    }
};
