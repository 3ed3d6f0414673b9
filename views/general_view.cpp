#include "views/general_view.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QVBoxLayout>
#include <utility>

#include "views/bindings.h"
#include "views/colors.h"
#include "views/divider.h"
#include "views/presentation.h"
#include "views/symbol_image.h"
#include "views/text_style.h"

namespace glidewheel {

namespace {

QLabel* styledLabel(const QString& text, TextStyle style, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    setTextStyle(*label, style);
    return label;
}

}  // namespace

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
    const auto addSliderGroup = [&](const char* title, const char* name, SliderScale scale,
                                    Published<double>& property, std::function<void(double)> assign,
                                    QString (*format)(double), const QString& widestText) {
        auto* titleRow = new QHBoxLayout;
        titleRow->addWidget(styledLabel(tr(title), TextStyle::callout, this));
        titleRow->addStretch();
        auto* value = styledLabel(QString(), TextStyle::callout, this);
        value->setObjectName(QString(name) + "Text");
        setForeground(*value, Foreground::secondary);
        value->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        if (!widestText.isEmpty()) {
            value->setMinimumWidth(value->fontMetrics().horizontalAdvance(widestText));
        }
        titleRow->addWidget(value);
        auto* slider = new QSlider(Qt::Horizontal, this);
        slider->setObjectName(name);
        auto* group = new QVBoxLayout;
        group->setSpacing(2);
        group->addLayout(titleRow);
        group->addWidget(slider);
        form->addLayout(group);
        bindings_.push_back(bindText(*value, property, format));
        bindings_.push_back(bindSlider(*slider, scale, property, std::move(assign)));
    };

    addToggle("Enable Glidewheel", "isEnabled", false, prefs.isEnabledStream(),
              [&prefs](bool v) { prefs.setIsEnabled(v); });
    form->addWidget(new Divider(this));
    // Digits keep their places as the speed changes: the widest text sets the width.
    addSliderGroup("Speed", "scrollSpeed", kSpeedScale, prefs.scrollSpeedStream(),
                   [&prefs](double v) { prefs.setScrollSpeed(v); }, &speedText, speedText(10.0));
    addSliderGroup("Smoothness", "smoothness", kSmoothnessScale, prefs.smoothnessStream(),
                   [&prefs](double v) { prefs.setSmoothness(v); }, &smoothnessLabel, QString());
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
