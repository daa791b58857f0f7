// The window and its monitor: the DPI it is drawn at, its size for the designed client area at
// that DPI, and its place on the monitor's work area.
#pragma once

#include <windows.h>

namespace qrv3::win {

// The window's frame, which decides how much larger than its client area it is.
inline constexpr DWORD kWindowStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
inline constexpr DWORD kWindowExStyle = 0;

// The DPI of the monitor `hwnd` is on; for a null window, the system's.
int DpiOf(HWND hwnd);

// The size of a window (from 0, 0) whose client area is the designed one at `dpi`.
RECT WindowRectForClient(int dpi);

// Sizes the window so that its client area is the designed one at `dpi`. The frame's metrics
// at a DPI are not always what the system's own sums say, so the result is measured and
// corrected once.
void SizeClientArea(HWND hwnd, int dpi);

// Moves the window onto the work area of the monitor that holds most of `wanted`: centred, or
// where `wanted` is when `centre` is false, with its caption and left edge inside.
void Place(HWND hwnd, const RECT& wanted, bool centre);

}  // namespace qrv3::win
