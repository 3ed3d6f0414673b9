// SPDX-License-Identifier: MIT

#pragma once

#include <functional>
#include <vector>

#include <QString>

#include "settings/observable.h"
#include "views/bindings.h"

class QVBoxLayout;
class QWidget;

namespace glidewheel {

// A slider under its title row: the title, flexible space, and the value as `format` shows it,
// both in the callout style, the value in the secondary style at the trailing edge. The slider
// is named `name` and the value text `name` + "Text"; both follow `property`, and moving the
// slider calls `assign`. The bindings are added to `bindings`.
QVBoxLayout* sliderGroup(QWidget* parent, const QString& title, const char* name, int spacing,
                         SliderScale scale, Published<double>& property,
                         std::function<void(double)> assign, QString (*format)(double),
                         std::vector<Cancellable>& bindings);

}  // namespace glidewheel
