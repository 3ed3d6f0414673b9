// SPDX-License-Identifier: MIT

#include "views/slider_group.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QSlider>
#include <QVBoxLayout>
#include <utility>

#include "views/colors.h"
#include "views/text_style.h"

namespace glidewheel {

QVBoxLayout* sliderGroup(QWidget* parent, const QString& title, const char* name, int spacing,
                         SliderScale scale, Published<double>& property,
                         std::function<void(double)> assign, QString (*format)(double),
                         std::vector<Cancellable>& bindings) {
    auto* titleRow = new QHBoxLayout;
    titleRow->addWidget(styledLabel(title, TextStyle::callout, parent));
    titleRow->addStretch();
    auto* value = styledLabel(QString(), TextStyle::callout, parent);
    value->setObjectName(QString(name) + "Text");
    setForeground(*value, Foreground::secondary);
    value->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    // Digits keep their places as the value changes: the top of the range is the widest number.
    value->setMinimumWidth(
        value->fontMetrics().horizontalAdvance(format(scale.valueAt(scale.last))));
    titleRow->addWidget(value);

    auto* slider = new QSlider(Qt::Horizontal, parent);
    slider->setObjectName(name);
    auto* group = new QVBoxLayout;
    group->setSpacing(spacing);
    group->addLayout(titleRow);
    group->addWidget(slider);
    bindings.push_back(bindText(*value, property, format));
    bindings.push_back(bindSlider(*slider, scale, property, std::move(assign)));
    return group;
}

}  // namespace glidewheel
