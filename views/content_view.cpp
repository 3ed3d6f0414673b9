// SPDX-License-Identifier: MIT

#include "views/content_view.h"

#include <QTabWidget>
#include <QVBoxLayout>
#include <utility>

#include "platform/services.h"
#include "views/about_view.h"
#include "views/applications_view.h"
#include "views/colors.h"
#include "views/general_view.h"
#include "views/mice_view.h"
#include "views/presentation.h"
#include "views/symbol_icon.h"

namespace glidewheel {

namespace {

// The lookup the backend installed, or one that says the desktop offers none.
platform::PointerApplication& pointerApplication() {
    static platform::NoPointerApplication none;
    platform::PointerApplication* installed = platform::services().pointerApplication;
    return installed != nullptr ? *installed : none;
}

}  // namespace

ContentView::ContentView(std::function<void()> onOpenAccessibilitySettings, QWidget* parent)
    : QWidget(parent) {
    auto* root = new QVBoxLayout(this);
    root->setContentsMargins(8, 0, 8, 8);  // left, top, right, bottom in px

    auto* tabs = new QTabWidget(this);
    tabs->setObjectName("tabs");
    const QColor symbolTint = foregroundColor(palette(), Foreground::primary);
    tabs->addTab(new GeneralView(Preferences::shared(), currentAccessibilityPermission(),
                                 std::move(onOpenAccessibilitySettings), tabs),
                 symbolIcon("gear", symbolTint), tr("General"));
    tabs->addTab(new MiceView(Preferences::shared(), platform::services().miceLeftAloneOn, tabs),
                 symbolIcon("computermouse", symbolTint), tr("Mice"));
    tabs->addTab(new ApplicationsView(Preferences::shared(), pointerApplication(), tabs),
                 symbolIcon("macwindow", symbolTint), tr("Applications"));
    tabs->addTab(new AboutView(tabs), symbolIcon("info.circle", symbolTint), tr("About"));
    tabs->setCurrentIndex(0);
    root->addWidget(tabs);
}

}  // namespace glidewheel
