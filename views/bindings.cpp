// SPDX-License-Identifier: MIT

#include "views/bindings.h"

#include <QAbstractButton>
#include <QLabel>
#include <QSignalBlocker>
#include <QSlider>
#include <algorithm>
#include <cmath>
#include <memory>
#include <utility>

namespace glidewheel {

namespace {

// Ends both halves of a binding: the model subscription and the control's signal connection.
Cancellable bothWays(Cancellable subscription, QMetaObject::Connection connection) {
    auto held = std::make_shared<Cancellable>(std::move(subscription));
    return Cancellable([held, connection] {
        held->cancel();
        QObject::disconnect(connection);
    });
}

}  // namespace

int SliderScale::positionOf(double value) const {
    if (std::isnan(value)) return first;
    const double position = std::round(value * perUnit);
    return static_cast<int>(
        std::clamp(position, static_cast<double>(first), static_cast<double>(last)));
}

Cancellable bindToggle(QAbstractButton& control, Published<bool>& property,
                       std::function<void(bool)> assign) {
    // `clicked` comes only from a person's action (mouse or keyboard), never from setChecked.
    auto connection =
        QObject::connect(&control, &QAbstractButton::clicked, &control,
                         [assign = std::move(assign)](bool checked) { assign(checked); });
    auto subscription = property.sink([&control](const bool& value) {
        const QSignalBlocker quiet(control);
        control.setChecked(value);
    });
    return bothWays(std::move(subscription), connection);
}

Cancellable bindSlider(QSlider& slider, SliderScale scale, Published<double>& property,
                       std::function<void(double)> assign) {
    {
        const QSignalBlocker quiet(slider);
        slider.setRange(scale.first, scale.last);
        slider.setSingleStep(1);
        slider.setPageStep(std::max(1, (scale.last - scale.first) / 10));
        slider.setTracking(true);  // valueChanged for every position passed while dragging
    }
    auto connection = QObject::connect(&slider, &QSlider::valueChanged, &slider,
                                       [scale, assign = std::move(assign)](int position) {
                                           assign(scale.valueAt(position));
                                       });
    auto subscription = property.sink([&slider, scale](const double& value) {
        // A value between steps or outside the range (a hand-edited settings file) is shown at
        // the nearest position and left as it is.
        const QSignalBlocker quiet(slider);
        slider.setValue(scale.positionOf(value));
    });
    return bothWays(std::move(subscription), connection);
}

Cancellable bindText(QLabel& label, Published<double>& property,
                     std::function<QString(double)> format) {
    return property.sink([&label, format = std::move(format)](const double& value) {
        label.setText(format(value));
    });
}

}  // namespace glidewheel
