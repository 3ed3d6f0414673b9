// Renders the popup panel and the settings window's tabs to PNG files under the offscreen
// platform, for the documentation and to see the layout without a desktop.
// Usage: render_views [OUTPUT_DIR]   (default: the current directory)

#include <QApplication>
#include <QDir>
#include <QTabWidget>
#include <cstdio>
#include <functional>

#include "platform/sim/sim_platform.h"
#include "settings/preferences.h"
#include "views/content_view.h"
#include "views/menu_popover_view.h"

namespace {

using glidewheel::ContentView;
using glidewheel::MenuPopoverView;
using glidewheel::Preferences;

constexpr QSize kPopoverSize(300, 340);   // px, the tray popup's frame
constexpr QSize kSettingsSize(360, 340);  // px, the settings window's frame

bool save(QWidget& widget, QSize size, const QDir& dir, const QString& name) {
    widget.setFixedSize(size);
    widget.show();
    QApplication::processEvents();
    const QString path = dir.filePath(name);
    const bool saved = widget.grab().save(path);
    std::printf("%s %s\n", saved ? "wrote" : "FAILED to write", qPrintable(path));
    widget.hide();
    return saved;
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    // Outlives the shared Preferences and ScrollInterceptor, which hold references into it.
    static glidewheel::platform::sim::SimPlatform sim;
    sim.install();
    sim.bundle.info = glidewheel::platform::Bundle::InfoDictionary{{"CFBundleShortVersionString", "1.0"}};

    QApplication app(argc, argv);
    const QDir dir(argc > 1 ? QString::fromLocal8Bit(argv[1]) : QDir::currentPath());
    if (!dir.mkpath(".")) {
        std::fprintf(stderr, "render_views: cannot create %s\n", qPrintable(dir.path()));
        return 1;
    }

    Preferences& prefs = Preferences::shared();
    bool ok = true;
    const auto popover = [&](bool trusted, bool enabled, const QString& name) {
        sim.trust.trusted = trusted;
        prefs.setIsEnabled(enabled);
        MenuPopoverView view(prefs, trusted, {}, {});
        ok = save(view, kPopoverSize, dir, name) && ok;
    };
    popover(true, true, "popover.png");
    popover(false, true, "popover-warning.png");
    popover(true, false, "popover-disabled.png");
    prefs.setIsEnabled(true);

    const auto settings = [&](bool trusted, int tab, const QString& name) {
        sim.trust.trusted = trusted;
        ContentView view;
        view.findChild<QTabWidget*>()->setCurrentIndex(tab);
        ok = save(view, kSettingsSize, dir, name) && ok;
    };
    settings(false, 0, "settings-general.png");
    settings(true, 0, "settings-general-trusted.png");
    settings(true, 1, "settings-about.png");
    return ok ? 0 : 1;
}
