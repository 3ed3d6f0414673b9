// SPDX-License-Identifier: MIT

// Renders the popup panel and the settings window's tabs to PNG files under the offscreen
// platform, for the documentation and to see the layout without a desktop.
// Usage: glidewheel-render-views [OUTPUT_DIR]   (default: the current directory)

#include <QApplication>
#include <QDir>
#include <QTabWidget>
#include <cstdio>

#include "platform/sim/sim_platform.h"
#include "views/content_view.h"
#include "views/menu_popover_view.h"

using namespace glidewheel;

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    static platform::sim::SimPlatform sim;  // outlives the shared instances that refer to it
    sim.install();
    QApplication app(argc, argv);
    const QDir dir(argc > 1 ? QString::fromLocal8Bit(argv[1]) : QDir::currentPath());
    bool ok = dir.mkpath(".");
    // Sizes in px: the tray popup's frame is 300 by 340, the settings window's 400 by 382 (four
    // tabs side by side).
    constexpr QSize kPopup{300, 340};
    constexpr QSize kSettings{400, 382};
    const auto save = [&](auto&& view, QSize size, const char* name) {
        view.setFixedSize(size);
        view.show();
        const bool saved = view.grab().save(dir.filePath(name));
        std::printf("%s %s\n", saved ? "wrote" : "FAILED to write", qPrintable(dir.filePath(name)));
        ok = ok && saved;
    };
    sim.trust.trusted = false;
    save(MenuPopoverView(Preferences::shared(), false, {}, {}, {}), kPopup, "popover-warning.png");
    save(ContentView({}), kSettings, "settings-general.png");
    sim.trust.trusted = true;
    Preferences::shared().setIsEnabled(false);
    save(MenuPopoverView(Preferences::shared(), true, {}, {}, {}), kPopup, "popover-disabled.png");
    Preferences::shared().setIsEnabled(true);
    // Two mice as a desktop might have them: a plain one, and one whose wheel scrolls finely.
    Preferences::shared().noteWheelMice(
        {{"Logitech USB Optical Mouse", 0x046d, 0xc077, "usb-0000:00:14.0-1/input0", false,
          std::nullopt},
         {"Logitech MX Master 3", 0x046d, 0xb023, "0c:54:15:7a:21:e0", true, std::nullopt}});
    ContentView mice({});
    mice.findChild<QTabWidget*>()->setCurrentIndex(1);
    save(mice, kSettings, "settings-mice.png");
    Preferences::shared().addRawWheelApplication("steam");
    Preferences::shared().addRawWheelApplication("virt-manager");
    ContentView applications({});
    applications.findChild<QTabWidget*>()->setCurrentIndex(2);
    save(applications, kSettings, "settings-applications.png");
    ContentView about({});
    about.findChild<QTabWidget*>()->setCurrentIndex(3);
    save(about, kSettings, "settings-about.png");
    return ok ? 0 : 1;
}
