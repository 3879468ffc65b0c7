#pragma once
// Keeping the screen saver off during a recording: the X screen-saver
// extension's suspension on the application's own X connection. Unlike
// changing the server's screen-saver settings, a suspension ends with the
// connection, so a crashed recorder never leaves the screen saver off.

#include <functional>

namespace app::screensaver {

// Suspends (true) or lets the screen saver work again (false). Returns false
// when there is no X connection or the server lacks the extension.
bool Suspend(bool ASuspend);

// Replaces what Suspend does (tests); nullptr restores the X call.
void SetHandler(std::function<bool(bool ASuspend)> AHandler);

}  // namespace app::screensaver
