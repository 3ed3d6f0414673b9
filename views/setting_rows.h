// SPDX-License-Identifier: MIT

#pragma once

#include <functional>
#include <vector>

#include <QString>

#include "settings/observable.h"
#include "views/colors.h"
#include "views/text_style.h"

class QBoxLayout;
class QCheckBox;
class QHBoxLayout;
class QWidget;

namespace glidewheel {

// Rows that the popup panel and the General tab both build, each to its own measures.

// The settings window's tabs lay their rows out alike: this far in from the tab's edges, and
// this far apart (px).
inline constexpr int kFormInset = 20;
inline constexpr int kFormSpacing = 16;

// A checkbox labelled `label` in the callout style (the application font when `callout` is
// false), named `name`, added at the leading edge of `layout` with its natural width. It follows
// `property` and a click calls `assign`; the binding goes into `bindings`.
QCheckBox* addToggleRow(QBoxLayout& layout, QWidget* parent, const QString& label, const char* name,
                        bool callout, Published<bool>& property, std::function<void(bool)> assign,
                        std::vector<Cancellable>& bindings);

// How a permission warning looks in one place: the gap between its items (px), the text style
// the symbol is sized to, and the emphasis of the text.
struct WarningLook {
    int spacing;
    TextStyle symbolStyle;
    Foreground text;
};

// Lays out `row` (named "permissionWarning") as the yellow warning symbol and "Accessibility
// permission required" in the caption style, with no margins. Returns the row's layout, so that
// a caller can add to it.
QHBoxLayout* buildPermissionWarning(QWidget& row, WarningLook look);

}  // namespace glidewheel
