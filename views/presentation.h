// SPDX-License-Identifier: MIT

#pragma once

#include <functional>

#include <QString>

class QWidget;

namespace glidewheel {

// Texts and actions shared by the popup panel and the General tab.

// The name of a smoothness setting; ranges are half-open, lower bound included. Anything not in
// 0.0…0.8 (0.8 and above, negative, NaN) is "Ultra".
QString smoothnessLabel(double smoothness);

// The speed factor as "%.1fx" with a full stop whatever the locale: "1.0x", "0.1x", "10.0x".
QString speedText(double scrollSpeed);

// What an acceleration setting does, for its slider: "Off" at 0 (and for anything not above
// it), else the most a fast spin multiplies a notch by, as "up to %.1fx": "up to 6.0x" at 1.
QString accelerationText(double acceleration);

// The program's version from the bundle's "CFBundleShortVersionString"; "1.0" when there is no
// information dictionary, no such key, or a value that is not a string.
QString versionString();

// The popup panel's footer text: "v" and the version.
QString versionText();

// The accessibility trust state as the shared interceptor reads it. Only reads: never prompts,
// never starts or stops interception.
bool currentAccessibilityPermission();

// Runs `action` each time input access may have changed, for as long as `receiver` lives: when
// the application becomes active, and at each announcePermissionMayHaveChanged().
void onPermissionMayHaveChanged(QWidget* receiver, std::function<void()> action);

// Tells every view that shows the permission state to read it again: access can be granted
// while the program is active, from a window of its own.
void announcePermissionMayHaveChanged();

}  // namespace glidewheel
