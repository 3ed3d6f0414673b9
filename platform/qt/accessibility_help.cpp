#include "platform/qt/accessibility_help.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QObject>
#include <QPointer>
#include <QTextBrowser>
#include <QUrl>

// Resources of a static library must be registered by name from the global namespace.
static void registerHelpResources() { Q_INIT_RESOURCE(accessibility_help); }

namespace glidewheel::platform::qt {
namespace {

constexpr auto kSettingsScheme = "x-apple.systempreferences";
constexpr auto kHelpPage = "qrc:/glidewheel/help/input_access.html";

// Receives the settings addresses that the program opens and answers them with the help window.
class InputAccessHelp final : public QObject {
    Q_OBJECT

public:
    using QObject::QObject;
    ~InputAccessHelp() override {
        QDesktopServices::unsetUrlHandler(QString::fromLatin1(kSettingsScheme));
        delete window_.data();  // a top-level window has no parent to take it along
    }

public slots:
    void showHelp(const QUrl&) {
        if (window_.isNull()) {
            window_ = new QTextBrowser;
            window_->setObjectName(QStringLiteral("glidewheelInputAccessHelp"));
            window_->setAttribute(Qt::WA_DeleteOnClose);
            window_->setWindowTitle(QStringLiteral("Glidewheel: Access to Your Mouse"));
            window_->setOpenExternalLinks(true);
            window_->setSource(QUrl(QString::fromLatin1(kHelpPage)));
            window_->resize(520, 460);
        }
        window_->show();
        window_->raise();
        window_->activateWindow();
    }

private:
    QPointer<QTextBrowser> window_;
};

}  // namespace

void installAccessibilitySettingsHandler() {
    static QPointer<InputAccessHelp> installed;
    if (!installed.isNull()) return;
    registerHelpResources();
    // Goes when the event loop ends: its window must not outlive the application's GUI, which is
    // torn down before the application object's children are deleted.
    QCoreApplication* app = QCoreApplication::instance();
    installed = new InputAccessHelp(app);
    QObject::connect(app, &QCoreApplication::aboutToQuit, app, [] { delete installed.data(); });
    QDesktopServices::setUrlHandler(QString::fromLatin1(kSettingsScheme), installed, "showHelp");
}

QString inputAccessPromptText() {
    return QStringLiteral(
        "Glidewheel needs access to your mouse to smooth its scrolling. Choose \"Open Settings\" "
        "in its menu to see how to grant it.");
}

}  // namespace glidewheel::platform::qt

#include "accessibility_help.moc"
