#pragma once
// A stand-in for the host's options window, the parent the settings panel is
// embedded in, and a way to find the panels embedded in it.
#include <windows.h>

#include <vector>

namespace hostwindow {

// A top-level window titled "Options" with the dialog background colour;
// null when it cannot be made.
HWND create(bool visible = true, int width = 480, int height = 200);

// The dialogs (class "#32770") that are children of `host`, in z order.
std::vector<HWND> panelsOf(HWND host);

}  // namespace hostwindow
