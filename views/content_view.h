// SPDX-License-Identifier: MIT

#pragma once

#include <functional>

#include <QWidget>

namespace glidewheel {

// The settings window's content: General, Mice, Applications and About tabs, 8 px in from the left,
// right and bottom edges and touching the top. The General tab is bound to the shared Preferences
// and starts from the trust state read at construction; its accessibility button runs
// `onOpenAccessibilitySettings`. A new ContentView opens on General. Sets no size of its own.
class ContentView : public QWidget {
    Q_OBJECT
public:
    explicit ContentView(std::function<void()> onOpenAccessibilitySettings,
                         QWidget* parent = nullptr);
};

}  // namespace glidewheel
