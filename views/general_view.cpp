#include "views/general_view.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>
#include <utility>

#include "views/bindings.h"
#include "views/colors.h"
#include "views/divider.h"
#include "views/presentation.h"
#include "views/slider_group.h"
#include "views/symbol_image.h"
#include "views/text_style.h"

namespace glidewheel {

GeneralView::GeneralView(Preferences& prefs, bool hasPermission, QWidget* parent)
    : QWidget(parent), hasPermission_(hasPermission) {
    // The form keeps its natural height and sits in the vertical middle of the tab.
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->setSpacing(0);
    outer->addStretch();
    auto* form = new QVBoxLayout;
    form->setContentsMargins(20, 20, 20, 20);
    form->setSpacing(16);
    outer->addLayout(form);
    outer->addStretch();

    // Toggles, the button and the warning keep their natural width at the leading edge; the
    // title rows, sliders and dividers fill the width.
    const auto addToggle = [&](const char* label, const char* name, bool calloutStyle,
                               Published<bool>& property, std::function<void(bool)> assign) {
        auto* toggle = new QCheckBox(tr(label), this);
        toggle->setObjectName(name);
        if (calloutStyle) setTextStyle(*toggle, TextStyle::callout);
        form->addWidget(toggle, 0, Qt::AlignLeft);
        bindings_.push_back(bindToggle(*toggle, property, std::move(assign)));
    };
    addToggle("Enable Glidewheel", "isEnabled", false, prefs.isEnabledStream(),
              [&prefs](bool v) { prefs.setIsEnabled(v); });
    form->addWidget(new Divider(this));
    form->addLayout(sliderGroup(this, tr("Speed"), "scrollSpeed", 2, kSpeedScale,
                                prefs.scrollSpeedStream(),
                                [&prefs](double v) { prefs.setScrollSpeed(v); }, &speedText,
                                bindings_));
    form->addLayout(sliderGroup(this, tr("Smoothness"), "smoothness", 2, kSmoothnessScale,
                                prefs.smoothnessStream(),
                                [&prefs](double v) { prefs.setSmoothness(v); }, &smoothnessLabel,
                                bindings_));
    addToggle("Reverse scroll direction", "reverseScroll", true, prefs.reverseScrollStream(),
              [&prefs](bool v) { prefs.setReverseScroll(v); });
    form->addWidget(new Divider(this));
    addToggle("Launch at login", "launchAtLogin", true, prefs.launchAtLoginStream(),
              [&prefs](bool v) { prefs.setLaunchAtLogin(v); });

    auto* openSettings = new QPushButton(tr("Accessibility Settings\u2026"), this);
    openSettings->setObjectName("openAccessibilitySettings");
    setTextStyle(*openSettings, TextStyle::callout);
    QObject::connect(openSettings, &QPushButton::clicked, this, [] { openAccessibilitySettings(); });
    form->addWidget(openSettings, 0, Qt::AlignLeft);

    // Shown only while trust is missing.
    permissionWarning_ = new QWidget(this);
    permissionWarning_->setObjectName("permissionWarning");
    auto* warningRow = new QHBoxLayout(permissionWarning_);
    warningRow->setContentsMargins(0, 0, 0, 0);
    warningRow->setSpacing(6);
    warningRow->addWidget(new SymbolImage("exclamationmark.triangle.fill", TextStyle::caption,
                                          systemYellow(), permissionWarning_));
    auto* warningText = styledLabel(tr("Accessibility permission required"), TextStyle::caption,
                                    permissionWarning_);
    setForeground(*warningText, Foreground::secondary);
    warningRow->addWidget(warningText);
    form->addWidget(permissionWarning_, 0, Qt::AlignLeft);
    permissionWarning_->setVisible(!hasPermission_);

    onApplicationActivated(this, [this] { refreshPermission(); });
}

void GeneralView::showEvent(QShowEvent* event) {
    // Runs before the first frame of every showing, so the warning never flashes in late.
    refreshPermission();
    QWidget::showEvent(event);
}

void GeneralView::refreshPermission() {
    hasPermission_ = currentAccessibilityPermission();
    permissionWarning_->setVisible(!hasPermission_);
}

}  // namespace glidewheel
