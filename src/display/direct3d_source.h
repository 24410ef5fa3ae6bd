#pragma once
// The part of EnumerateDisplayModes between loading d3d9.dll and filtering the modes: creating the
// Direct3D 9 object and releasing it again. Tests hand it their own creation function.

#include <d3d9.h>

#include "display/display_modes.h"

// The signature of d3d9.dll's Direct3DCreate9.
using Direct3DCreate9Function = IDirect3D9*(WINAPI*)(UINT sdkVersion);

// Empties modes. Then, when create is not null and returns an object for D3D_SDK_VERSION, fills modes
// from that object (FillDisplayModes) and releases it once.
void ListDisplayModes(Direct3DCreate9Function create, DisplayModeList& modes);
