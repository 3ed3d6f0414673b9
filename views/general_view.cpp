// SPDX-License-Identifier: MIT

#include "views/general_view.h"

#include <QPushButton>
#include <QSlider>
#include <QVBoxLayout>
#include <utility>

#include "views/control_size.h"
#include "views/divider.h"
#include "views/presentation.h"
#include "views/setting_rows.h"
#include "views/slider_group.h"
#include "views/text_style.h"

namespace glidewheel {

GeneralView::GeneralView(Preferences& prefs, bool hasPermission,
                         std::function<void()> onOpenAccessibilitySettings, QWidget* parent)
    : QWidget(parent), hasPermission_(hasPermission) {
    QVBoxLayout* form = createCentredForm();
    // Toggles, the button and the warning keep their natural width at the leading edge; the
    // title rows, sliders and dividers fill the width.
    addSettings(*form, prefs);
    form->addWidget(createAccessibilityButton(std::move(onOpenAccessibilitySettings)), 0,
                    Qt::AlignLeft);
    form->addWidget(createPermissionWarning(), 0, Qt::AlignLeft);

    onPermissionMayHaveChanged(this, [this] { refreshPermission(); });
}

QVBoxLayout* GeneralView::createCentredForm() {
    // The form keeps its natural height and sits in the vertical middle of the tab. Where the
    // tab is too short for it (the warning showing, a large font), the insets above and below
    // give way before any control is squeezed.
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->setSpacing(0);
    outer->addStretch();
    outer->addSpacerItem(
        new QSpacerItem(0, kFormInset, QSizePolicy::Minimum, QSizePolicy::Maximum));
    auto* form = new QVBoxLayout;
    form->setContentsMargins(kFormInset, 0, kFormInset, 0);
    form->setSpacing(kFormSpacing);
    outer->addLayout(form);
    outer->addSpacerItem(
        new QSpacerItem(0, kFormInset, QSizePolicy::Minimum, QSizePolicy::Maximum));
    outer->addStretch();
    return form;
}

void GeneralView::addSettings(QVBoxLayout& form, Preferences& prefs) {
    addToggleRow(
        form, this, tr("Enable Glidewheel"), "isEnabled", false, prefs.isEnabledStream(),
        [&prefs](bool v) { prefs.setIsEnabled(v); }, bindings_);
    form.addWidget(new Divider(this));
    addSliders(form, prefs);
    addToggleRow(
        form, this, tr("Reverse scroll direction"), "reverseScroll", true,
        prefs.reverseScrollStream(), [&prefs](bool v) { prefs.setReverseScroll(v); }, bindings_);
    form.addWidget(new Divider(this));
    addToggleRow(
        form, this, tr("Launch at login"), "launchAtLogin", true, prefs.launchAtLoginStream(),
        [&prefs](bool v) { prefs.setLaunchAtLogin(v); }, bindings_);
}

void GeneralView::addSliders(QVBoxLayout& form, Preferences& prefs) {
    form.addLayout(sliderGroup(
        this, tr("Speed"), "scrollSpeed", 2, kSpeedScale, prefs.scrollSpeedStream(),
        [&prefs](double v) { prefs.setScrollSpeed(v); }, &speedText, bindings_));
    form.addLayout(sliderGroup(
        this, tr("Smoothness"), "smoothness", 2, kSmoothnessScale, prefs.smoothnessStream(),
        [&prefs](double v) { prefs.setSmoothness(v); }, &smoothnessLabel, bindings_));
    form.addLayout(sliderGroup(
        this, tr("Acceleration"), "acceleration", 2, kAccelerationScale, prefs.accelerationStream(),
        [&prefs](double v) { prefs.setAcceleration(v); }, &accelerationText, bindings_));
    for (QSlider* slider : findChildren<QSlider*>()) setSmallControlSize(*slider);
}

QWidget* GeneralView::createAccessibilityButton(std::function<void()> onOpenAccessibilitySettings) {
    auto* button = new QPushButton(tr("Accessibility Settings\u2026"), this);
    button->setObjectName("openAccessibilitySettings");
    setTextStyle(*button, TextStyle::callout);
    setSmallControlSize(*button);
    connect(button, &QPushButton::clicked, this, [open = std::move(onOpenAccessibilitySettings)] {
        if (open) open();
    });
    return button;
}

QWidget* GeneralView::createPermissionWarning() {
    // Shown only while trust is missing.
    permissionWarning_ = new QWidget(this);
    buildPermissionWarning(*permissionWarning_, {6, TextStyle::caption, Foreground::secondary});
    permissionWarning_->setVisible(!hasPermission_);
    return permissionWarning_;
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
