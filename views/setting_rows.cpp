// SPDX-License-Identifier: MIT

#include "views/setting_rows.h"

#include <QBoxLayout>
#include <QCheckBox>
#include <QCoreApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <utility>

#include "views/bindings.h"
#include "views/symbol_image.h"

namespace glidewheel {

QCheckBox* addToggleRow(QBoxLayout& layout, QWidget* parent, const QString& label, const char* name,
                        bool callout, Published<bool>& property, std::function<void(bool)> assign,
                        std::vector<Cancellable>& bindings) {
    auto* toggle = new QCheckBox(label, parent);
    toggle->setObjectName(name);
    if (callout) setTextStyle(*toggle, TextStyle::callout);
    layout.addWidget(toggle, 0, Qt::AlignLeft);
    bindings.push_back(bindToggle(*toggle, property, std::move(assign)));
    return toggle;
}

QHBoxLayout* buildPermissionWarning(QWidget& row, WarningLook look) {
    row.setObjectName("permissionWarning");
    auto* layout = new QHBoxLayout(&row);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(look.spacing);
    layout->addWidget(
        new SymbolImage("exclamationmark.triangle.fill", look.symbolStyle, systemYellow(), &row));
    auto* text =
        styledLabel(QCoreApplication::translate("glidewheel", "Accessibility permission required"),
                    TextStyle::caption, &row);
    setForeground(*text, look.text);
    layout->addWidget(text);
    return layout;
}

}  // namespace glidewheel
