#pragma once

#include <QString>

namespace glidewheel::platform::qt {

// Makes opening "x-apple.systempreferences:com.apple.preference.security?Privacy_Accessibility"
// (or any address of that scheme) show a short help window on granting Glidewheel access to
// input devices, the nearest thing this system has to that settings page. The window is reused
// while it is open. Needs a QApplication; call once, on the main thread.
void installAccessibilitySettingsHandler();

// One or two sentences for the desktop notification shown when input access is missing.
QString inputAccessPromptText();

}  // namespace glidewheel::platform::qt
