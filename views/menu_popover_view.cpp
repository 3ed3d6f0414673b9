// SPDX-License-Identifier: MIT

#include "views/menu_popover_view.h"

#include <QGraphicsOpacityEffect>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QVBoxLayout>
#include <utility>

#include "views/bindings.h"
#include "views/colors.h"
#include "views/control_size.h"
#include "views/divider.h"
#include "views/plain_button.h"
#include "views/presentation.h"
#include "views/setting_rows.h"
#include "views/slider_group.h"
#include "views/switch_toggle.h"
#include "views/symbol_image.h"
#include "views/text_style.h"

namespace glidewheel {

namespace {

constexpr qreal kDimmedOpacity = 0.4;  // of the settings section while smoothing is off
constexpr qreal kWarningTint = 0.08;   // opacity of the warning row's yellow background

// A row whose background, insets included, is washed with a faint yellow.
class WarningRow : public QWidget {
public:
    explicit WarningRow(QWidget* parent = nullptr) : QWidget(parent) {}

protected:
    void paintEvent(QPaintEvent*) override {
        QColor wash = systemYellow();
        wash.setAlphaF(static_cast<float>(kWarningTint));
        QPainter(this).fillRect(rect(), wash);
    }
};

}  // namespace

MenuPopoverView::MenuPopoverView(Preferences& prefs, bool hasPermission,
                                 std::function<void()> onOpenSettings,
                                 std::function<void()> onOpenAccessibilitySettings,
                                 std::function<void()> onQuit, QWidget* parent)
    : QWidget(parent),
      prefs_(prefs),
      hasPermission_(hasPermission),
      onOpenSettings_(std::move(onOpenSettings)),
      onOpenAccessibilitySettings_(std::move(onOpenAccessibilitySettings)),
      onQuit_(std::move(onQuit)) {
    auto* root = new QVBoxLayout(this);
    root->setContentsMargins(0, 0, 0, 0);
    root->setSpacing(0);
    // The panel is usually taller than the content; the content sits in its vertical middle.
    root->addStretch();
    root->addWidget(createHeader());
    root->addWidget(new Divider(this));
    root->addWidget(createPermissionWarning());
    permissionDivider_ = new Divider(this);
    permissionDivider_->setObjectName("permissionDivider");
    root->addWidget(permissionDivider_);
    root->addWidget(createSettingsSection());
    root->addWidget(new Divider(this));
    root->addWidget(createFooter());
    root->addStretch();

    bindings_.push_back(
        prefs_.isEnabledStream().sink([this](const bool& on) { showIsEnabled(on); }));
    showPermission();
    onPermissionMayHaveChanged(this, [this] { refreshPermission(); });
}

QWidget* MenuPopoverView::createHeader() {
    // Symbol, name, and the master switch, which stays live while the section is off.
    auto* header = new QWidget(this);
    header->setObjectName("header");
    auto* row = new QHBoxLayout(header);
    row->setContentsMargins(16, 14, 16, 10);
    row->addWidget(new SymbolImage("computermouse.fill", TextStyle::title3, systemBlue(), header));
    row->addWidget(styledLabel(tr("Glidewheel"), TextStyle::headline, header));
    row->addStretch();
    auto* enabledSwitch = new SwitchToggle(header);
    enabledSwitch->setObjectName("isEnabled");
    enabledSwitch->setAccessibleName(tr("Glidewheel"));
    row->addWidget(enabledSwitch);
    bindings_.push_back(bindToggle(*enabledSwitch, prefs_.isEnabledStream(),
                                   [this](bool v) { prefs_.setIsEnabled(v); }));
    return header;
}

QWidget* MenuPopoverView::createPermissionWarning() {
    // Shown, with the divider below it, only while trust is missing.
    auto* warning = new WarningRow(this);
    QHBoxLayout* row =
        buildPermissionWarning(*warning, {8, TextStyle::callout, Foreground::primary});
    row->setContentsMargins(16, 8, 16, 8);
    row->addStretch();
    auto* openSettings = new QPushButton(tr("Open Settings"), warning);
    openSettings->setObjectName("openAccessibilitySettings");
    setTextStyle(*openSettings, TextStyle::caption);
    setSmallControlSize(*openSettings);
    connect(openSettings, &QPushButton::clicked, this, [this] {
        if (onOpenAccessibilitySettings_) onOpenAccessibilitySettings_();
    });
    row->addWidget(openSettings);
    permissionWarning_ = warning;
    return warning;
}

QWidget* MenuPopoverView::createSettingsSection() {
    // Dimmed and disabled while smoothing is off.
    settingsSection_ = new QWidget(this);
    settingsSection_->setObjectName("settingsSection");
    auto* section = new QVBoxLayout(settingsSection_);
    section->setContentsMargins(16, 12, 16, 12);
    section->setSpacing(14);

    // Here the slider titles are shown as built, without translation.
    section->addLayout(sliderGroup(
        settingsSection_, "Speed", "scrollSpeed", 4, kSpeedScale, prefs_.scrollSpeedStream(),
        [this](double v) { prefs_.setScrollSpeed(v); }, &speedText, bindings_));
    section->addLayout(sliderGroup(
        settingsSection_, "Smoothness", "smoothness", 4, kSmoothnessScale,
        prefs_.smoothnessStream(), [this](double v) { prefs_.setSmoothness(v); }, &smoothnessLabel,
        bindings_));
    section->addLayout(sliderGroup(
        settingsSection_, "Acceleration", "acceleration", 4, kAccelerationScale,
        prefs_.accelerationStream(), [this](double v) { prefs_.setAcceleration(v); },
        &accelerationText, bindings_));
    addToggleRow(
        *section, settingsSection_, tr("Reverse scroll"), "reverseScroll", true,
        prefs_.reverseScrollStream(), [this](bool v) { prefs_.setReverseScroll(v); }, bindings_);
    addToggleRow(
        *section, settingsSection_, tr("Launch at login"), "launchAtLogin", true,
        prefs_.launchAtLoginStream(), [this](bool v) { prefs_.setLaunchAtLogin(v); }, bindings_);

    // The section's 0.4 opacity is its whole dimming: disabled controls inside keep the text
    // colours of enabled ones rather than fading a second time.
    QPalette sectionPalette = settingsSection_->palette();
    for (const auto role : {QPalette::WindowText, QPalette::ButtonText, QPalette::Text}) {
        sectionPalette.setColor(QPalette::Disabled, role,
                                sectionPalette.color(QPalette::Active, role));
    }
    settingsSection_->setPalette(sectionPalette);
    sectionOpacity_ = new QGraphicsOpacityEffect(settingsSection_);
    settingsSection_->setGraphicsEffect(sectionOpacity_);
    return settingsSection_;
}

QWidget* MenuPopoverView::createFooter() {
    // Settings, version, quit.
    auto* footer = new QWidget(this);
    footer->setObjectName("footer");
    auto* row = new QHBoxLayout(footer);
    row->setContentsMargins(16, 10, 16, 10);
    auto* settingsButton = new PlainButton(tr("Settings..."), footer);
    settingsButton->setObjectName("openSettings");
    setTextStyle(*settingsButton, TextStyle::callout);
    setForegroundColor(*settingsButton, systemBlue());
    connect(settingsButton, &QAbstractButton::clicked, this, [this] {
        if (onOpenSettings_) onOpenSettings_();
    });
    row->addWidget(settingsButton);
    row->addStretch();
    version_ = styledLabel(versionText(), TextStyle::caption, footer);
    version_->setObjectName("version");
    setForeground(*version_, Foreground::tertiary);
    row->addWidget(version_);
    row->addStretch();
    auto* quitButton = new PlainButton(tr("Quit"), footer);
    quitButton->setObjectName("quit");
    setTextStyle(*quitButton, TextStyle::callout);
    setForeground(*quitButton, Foreground::secondary);
    connect(quitButton, &QAbstractButton::clicked, this, [this] {
        if (onQuit_) onQuit_();
    });
    row->addWidget(quitButton);
    return footer;
}

void MenuPopoverView::showEvent(QShowEvent* event) {
    // Runs before the first frame of every showing, so the warning never flashes in late.
    refreshPermission();
    version_->setText(versionText());
    QWidget::showEvent(event);
}

void MenuPopoverView::refreshPermission() {
    const bool trusted = currentAccessibilityPermission();
    if (trusted == hasPermission_) return;
    hasPermission_ = trusted;
    showPermission();
}

void MenuPopoverView::showPermission() {
    permissionWarning_->setVisible(!hasPermission_);
    permissionDivider_->setVisible(!hasPermission_);
}

void MenuPopoverView::showIsEnabled(bool isEnabled) {
    settingsSection_->setEnabled(isEnabled);
    sectionOpacity_->setOpacity(isEnabled ? 1.0 : kDimmedOpacity);
}

}  // namespace glidewheel
