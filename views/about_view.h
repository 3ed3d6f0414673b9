// SPDX-License-Identifier: MIT

#pragma once

#include <QWidget>

class QLabel;

namespace glidewheel {

// The About tab: the program's symbol, name, version and a two-line description, centred.
// The version is read from the bundle each time the tab is shown.
class AboutView : public QWidget {
    Q_OBJECT
public:
    explicit AboutView(QWidget* parent = nullptr);

protected:
    void showEvent(QShowEvent* event) override;

private:
    QLabel* version_ = nullptr;
};

}  // namespace glidewheel
