// SPDX-License-Identifier: MIT

#pragma once

#include <QRect>
#include <QSize>
#include <QWidget>

namespace glidewheel {

// The transient panel the tray icon opens: a popup window (a click anywhere outside closes it)
// of a fixed size, holding one content view for the whole run inside a 1 px border in the
// palette's mid colour.
class PopupPanel : public QWidget {
    Q_OBJECT
public:
    static constexpr QSize kSize{300, 340};
    static constexpr int kBorderWidth = 1;  // px

    // Takes ownership of `content`.
    explicit PopupPanel(QWidget* content);

    QWidget* content() const { return content_; }
    // Shows the panel hanging below the icon at `iconGeometry` (global pixels; empty when unknown,
    // then at the mouse pointer), inside the screen, and gives it the keyboard.
    void showBelow(const QRect& iconGeometry);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QWidget* content_;
};

}  // namespace glidewheel
