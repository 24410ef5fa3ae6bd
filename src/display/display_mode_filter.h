#pragma once
// Which of an adapter's modes the launcher offers: 32-bit modes of at least 1024 by 768, in the order the
// adapter reports them, with consecutive repeats (the same size at several refresh rates) folded.

#include <d3d9.h>

#include "display/display_modes.h"

// The smallest width and height offered.
constexpr UINT kMinimumModeWidth = 1024;
constexpr UINT kMinimumModeHeight = 768;

// The display format whose modes are listed: D3DFMT_A8R8G8B8 when the default adapter accepts it for a
// full-screen HAL device, else D3DFMT_X8R8G8B8 when it accepts that, else D3DFMT_A8R8G8B8 all the same.
D3DFORMAT ChooseModeFormat(IDirect3D9& d3d);

// Empties modes and fills it from the default adapter's modes in the chosen format. A mode the adapter
// fails to report is left out; so is one smaller than the minimum, and one whose size equals the record
// just before it. Every record has bpp 32. When memory runs out, the list keeps the modes it holds by then.
// The object is not released.
void FillDisplayModes(IDirect3D9& d3d, DisplayModeList& modes);
