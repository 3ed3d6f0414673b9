// SPDX-License-Identifier: MIT

#pragma once

#include <functional>

#include <QString>

class QWidget;

namespace glidewheel {

// How the help page grants input access itself: `pkexec` asks polkit for an administrator and
// runs `helper` as root. The helper installs the udev rule, loads uinput and applies the rule to
// the devices present; it takes no arguments.
struct AccessGrant {
    QString pkexec;
    QString helper;

    // Both exist and may be run.
    bool isAvailable() const;
};

// A new help window on granting Glidewheel access to input devices, the nearest thing this
// system has to an accessibility-settings page; not shown yet. Where `grant` is available the
// window offers "Grant Access…"; it always shows the same steps as terminal commands, with a
// button that copies them. `accessMayHaveChanged` runs when a grant has ended and when the
// window closes. A top-level window that deletes itself when closed; whoever keeps it must
// delete it before the application's GUI goes. Needs a QApplication; main thread only.
QWidget* createInputAccessHelp(AccessGrant grant, std::function<void()> accessMayHaveChanged);

// The grant helper of a program in `programDir`: next to it in a build tree, else in the
// libexec folder beside its bin folder when installed. Empty when there is neither.
QString findGrantAccessHelper(const QString& programDir);

// The terminal commands that do what the helper does, one a line.
QString manualAccessCommands();

// One or two sentences for the notice shown when input access is missing. They name the tray
// icon's panel when the icon is in a tray, else the settings window.
QString inputAccessPromptText(bool inTray);

}  // namespace glidewheel
