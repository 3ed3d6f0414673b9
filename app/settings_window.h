// SPDX-License-Identifier: MIT

#pragma once

#include <functional>

#include <QSize>
#include <QWidget>

namespace glidewheel {

// The settings window: titled "Glidewheel Settings", closable, neither minimisable nor
// resizable, holding a new ContentView of a fixed size, whose accessibility button runs
// `onOpenAccessibilitySettings`. It lives until it is closed.
class SettingsWindow : public QWidget {
    Q_OBJECT
public:
    static constexpr QSize kContentSize{400, 382};

    explicit SettingsWindow(std::function<void()> onOpenAccessibilitySettings);

    // Places the window in the middle of the available area of the screen the pointer is on.
    void centre();
    // Shows it in front of other windows with the keyboard, also when it was minimised.
    void bringToFront();

signals:
    // The window is closing; `window` is this window.
    void willClose(QWidget* window);

protected:
    void closeEvent(QCloseEvent* event) override;
};

}  // namespace glidewheel
