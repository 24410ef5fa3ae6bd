#include "display/display_modes.h"

#include "display/direct3d_source.h"
#include "display/display_mode_filter.h"
#include "display/system_library.h"

DisplayModeList g_displayModes;
bool g_displayModesListed = false;

void ListDisplayModes(Direct3DCreate9Function create, DisplayModeList& modes) {
    modes.clear();
    if (create == nullptr) {
        return;
    }
    IDirect3D9* d3d = create(D3D_SDK_VERSION);
    if (d3d == nullptr) {
        return;
    }
    FillDisplayModes(*d3d, modes);
    d3d->Release();
}

void EnumerateDisplayModes() {
    g_displayModes.clear();
    HMODULE library = LoadSystemLibrary(L"d3d9.dll");
    if (library == nullptr) {
        return;
    }
    const FARPROC entry = GetProcAddress(library, "Direct3DCreate9");
    ListDisplayModes(reinterpret_cast<Direct3DCreate9Function>(reinterpret_cast<void*>(entry)),
                     g_displayModes);
    // d3d9.dll stays loaded for the rest of the run, as if it were imported: overlays and tools that hook
    // it misbehave when it goes away under them.
}

void ListDisplayModesOnce() {
    if (g_displayModesListed) {
        return;
    }
    EnumerateDisplayModes();
    g_displayModesListed = true;
}
