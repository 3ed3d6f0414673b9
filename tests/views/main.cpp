#include <gtest/gtest.h>

#include <QApplication>
#include <QLayout>

#include "tests/views/test_platform.h"

namespace glidewheel::test {

platform::sim::SimPlatform& sim() {
    // Built before the first shared() call and destroyed after the shared instances that refer
    // to it, since function-local statics are destroyed in reverse order of construction.
    static platform::sim::SimPlatform platform;
    return platform;
}

void resetSim() {
    sim().trust.trusted = true;
    sim().trust.prompts = 0;
    sim().bundle.info = platform::Bundle::InfoDictionary{{"CFBundleShortVersionString", "1.0"}};
    sim().loginItems.calls.clear();
}

QList<QWidget*> visibleRows(const QWidget& parent) {
    QList<QWidget*> rows;
    const QLayout* layout = parent.layout();
    for (int i = 0; layout && i < layout->count(); ++i) {
        QWidget* widget = layout->itemAt(i)->widget();
        if (widget && widget->isVisibleTo(&parent)) rows.append(widget);
    }
    return rows;
}

}  // namespace glidewheel::test

int main(int argc, char** argv) {
    // Headless also when run by hand or for test discovery.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    glidewheel::test::sim().install();
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
