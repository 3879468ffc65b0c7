#pragma once
// Window geometry and lookup on an X display.

#include <X11/Xlib.h>

#include <string>

#include "platform/ScreenSource.h"
#include "platform/x11/X11Errors.h"

namespace platform::x11 {

// Screen rectangle of the window's inside (AClient) or of the window with its
// border and window-manager frame. Returns an X error code, 0 on success.
// Errors are collected through ATrap, the trap of ADisplay.
int WindowScreenRect(Display* ADisplay, TXErrorTrap& ATrap, Window AWindow, bool AClient, TRect& ARect);

// The first top-level window of any screen whose _NET_WM_NAME, else WM_NAME,
// is exactly ATitle (UTF-8); 0 when none. Top-level windows are the window
// manager's client list when there is one, the root's children otherwise.
Window FindTopLevelByTitle(Display* ADisplay, TXErrorTrap& ATrap, const std::string& ATitle);

}  // namespace platform::x11
