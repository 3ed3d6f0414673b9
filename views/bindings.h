// SPDX-License-Identifier: MIT

#pragma once

#include <functional>

#include <QString>

#include "settings/observable.h"

class QAbstractButton;
class QLabel;
class QSlider;

namespace glidewheel {

// Integer slider positions `first`…`last` standing for the values position / perUnit: whole
// steps of 1 / perUnit counted from the lower bound. Dividing (rather than multiplying by the
// step) makes position 3 of the speed scale exactly the double nearest 0.3.
struct SliderScale {
    int first;
    int last;
    int perUnit;

    double valueAt(int position) const { return position / static_cast<double>(perUnit); }
    // The nearest position, kept within the slider; NaN shows as the lower bound.
    int positionOf(double value) const;
};

inline constexpr SliderScale kSpeedScale{1, 100, 10};        // 0.1 … 10.0 in steps of 0.1
inline constexpr SliderScale kSmoothnessScale{0, 20, 20};    // 0.0 … 1.0 in steps of 0.05
inline constexpr SliderScale kAccelerationScale{0, 20, 20};  // 0.0 … 1.0 in steps of 0.05

// Two-way bindings between a control and one settings property. The control shows every value
// the property takes, from whatever source; only a person's action on the control assigns.
// Showing a value never writes it back (the setters repeat their side effects, such as the
// login-item call, on every assignment). Each binding ends when its token is destroyed, which
// must happen before the control is.

Cancellable bindToggle(QAbstractButton& control, Published<bool>& property,
                       std::function<void(bool)> assign);

// Sets the slider's range from `scale`; every position it passes through while dragged assigns.
Cancellable bindSlider(QSlider& slider, SliderScale scale, Published<double>& property,
                       std::function<void(double)> assign);

// One-way: the label shows `format` of each value.
Cancellable bindText(QLabel& label, Published<double>& property,
                     std::function<QString(double)> format);

}  // namespace glidewheel
