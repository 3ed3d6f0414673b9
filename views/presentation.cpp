// SPDX-License-Identifier: MIT

#include "views/presentation.h"

#include <string>
#include <utility>
#include <variant>

#include <QGuiApplication>
#include <QWidget>

#include "engine/scroll_acceleration.h"
#include "engine/scroll_interceptor.h"
#include "platform/services.h"

namespace glidewheel {

namespace {
constexpr auto kFallbackVersion = "1.0";

// Carries announcePermissionMayHaveChanged() to the views that listen.
class PermissionAnnouncer final : public QObject {
    Q_OBJECT
public:
    static PermissionAnnouncer& instance() {
        static PermissionAnnouncer announcer;
        return announcer;
    }
signals:
    void mayHaveChanged();
};

}  // namespace

QString smoothnessLabel(double smoothness) {
    // Comparisons with NaN are false, so NaN falls through to "Ultra" like any value out of range.
    if (smoothness >= 0.0 && smoothness < 0.2) return QStringLiteral("Responsive");
    if (smoothness >= 0.2 && smoothness < 0.4) return QStringLiteral("Light");
    if (smoothness >= 0.4 && smoothness < 0.6) return QStringLiteral("Default");
    if (smoothness >= 0.6 && smoothness < 0.8) return QStringLiteral("Smooth");
    return QStringLiteral("Ultra");
}

QString speedText(double scrollSpeed) {
    // QString::asprintf formats like C's printf in the "C" locale, whatever QLocale says.
    return QString::asprintf("%.1fx", scrollSpeed);
}

QString accelerationText(double acceleration) {
    if (!(acceleration > 0.0)) return QStringLiteral("Off");
    return QString::asprintf("up to %.1fx",
                             accelerationMultiplier(acceleration::kFastInterval, acceleration));
}

QString versionString() {
    const platform::Bundle* bundle = platform::services().bundle;
    if (!bundle) return kFallbackVersion;
    const auto info = bundle->infoDictionary();
    if (!info) return kFallbackVersion;
    const auto entry = info->find("CFBundleShortVersionString");
    if (entry == info->end()) return kFallbackVersion;
    const auto* version = std::get_if<std::string>(&entry->second);
    if (!version) return kFallbackVersion;
    return QString::fromStdString(*version);
}

QString versionText() { return QStringLiteral("v") + versionString(); }

bool currentAccessibilityPermission() {
    return ScrollInterceptor::shared().hasAccessibilityPermission();
}

void onPermissionMayHaveChanged(QWidget* receiver, std::function<void()> action) {
    QObject::connect(qApp, &QGuiApplication::applicationStateChanged, receiver,
                     [action](Qt::ApplicationState state) {
                         if (state == Qt::ApplicationActive) action();
                     });
    QObject::connect(&PermissionAnnouncer::instance(), &PermissionAnnouncer::mayHaveChanged,
                     receiver, std::move(action));
}

void announcePermissionMayHaveChanged() { emit PermissionAnnouncer::instance().mayHaveChanged(); }

}  // namespace glidewheel

#include "presentation.moc"
