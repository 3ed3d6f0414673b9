// SPDX-License-Identifier: MIT

#include "app/accessibility_help.h"

#include <QClipboard>
#include <QCloseEvent>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QStringList>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>
#include <iostream>
#include <utility>

// Resources of a static library must be registered by name from the global namespace.
static void registerHelpResources() { Q_INIT_RESOURCE(accessibility_help); }

namespace glidewheel {
namespace {

constexpr auto kHelpPage = "qrc:/glidewheel/help/input_access.html";
constexpr auto kRuleResource = ":/glidewheel/help/70-glidewheel.rules";
constexpr auto kHelperName = "glidewheel-grant-access";
constexpr auto kInstalledRule = "/etc/udev/rules.d/70-glidewheel.rules";

bool isExecutableFile(const QString& path) {
    const QFileInfo info(path);
    return info.isFile() && info.isExecutable();
}

// What the page says once pkexec has ended with `exitCode` (-1 when it did not start or crashed).
// pkexec's own codes: 126 when the person dismissed the password dialog, 127 when polkit refused
// or could not ask; otherwise the helper's.
QString grantOutcome(int exitCode) {
    switch (exitCode) {
        case 0: return QStringLiteral("Access granted.");
        case 126: return QStringLiteral("Cancelled: nothing was changed.");
        default:
            return QStringLiteral(
                "Access could not be granted this way. The commands below do the same.");
    }
}

// The help window: what access means, "Grant Access…" where polkit can grant it, and the same
// steps as terminal commands, wrapped to the window's width, with a button that copies them.
class InputAccessHelpWindow final : public QWidget {
public:
    InputAccessHelpWindow(AccessGrant grant, std::function<void()> accessMayHaveChanged)
        : grant_(std::move(grant)), accessMayHaveChanged_(std::move(accessMayHaveChanged)) {
        setObjectName(QStringLiteral("glidewheelInputAccessHelp"));
        setAttribute(Qt::WA_DeleteOnClose);
        setWindowTitle(QStringLiteral("Glidewheel: Access to Your Mouse"));
        resize(520, 520);

        auto* layout = new QVBoxLayout(this);
        layout->addWidget(createExplanation(), 1);
        if (grant_.isAvailable()) layout->addLayout(createGrantRow());
        layout->addWidget(new QLabel(QStringLiteral("Or run these commands in a terminal:"), this));
        layout->addWidget(createManualSteps());
        layout->addLayout(createCopyRow());
    }

protected:
    void closeEvent(QCloseEvent* event) override {
        event->accept();
        if (accessMayHaveChanged_) accessMayHaveChanged_();
    }

private:
    QWidget* createExplanation() {
        auto* page = new QTextBrowser(this);
        page->setObjectName(QStringLiteral("explanation"));
        page->setOpenExternalLinks(true);
        page->setSource(QUrl(QString::fromLatin1(kHelpPage)));
        return page;
    }

    QHBoxLayout* createGrantRow() {
        auto* row = new QHBoxLayout;
        auto* grantButton = new QPushButton(QStringLiteral("Grant Access\u2026"), this);
        grantButton->setObjectName(QStringLiteral("grantAccess"));
        grantButton->setDefault(true);
        connect(grantButton, &QPushButton::clicked, this, &InputAccessHelpWindow::grantAccess);
        row->addWidget(grantButton);
        grantStatus_ =
            new QLabel(QStringLiteral("Asks for an administrator's password, once."), this);
        grantStatus_->setObjectName(QStringLiteral("grantStatus"));
        grantStatus_->setWordWrap(true);
        row->addWidget(grantStatus_, 1);
        // The button takes the keyboard when the window opens.
        grantButton->setFocus();
        return row;
    }

    QWidget* createManualSteps() {
        auto* steps = new QPlainTextEdit(manualAccessCommands(), this);
        steps->setObjectName(QStringLiteral("manualSteps"));
        steps->setReadOnly(true);
        // Long lines wrap at the window's edge rather than hiding behind a scroll bar.
        steps->setLineWrapMode(QPlainTextEdit::WidgetWidth);
        steps->setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
        steps->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        steps->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
        return steps;
    }

    QHBoxLayout* createCopyRow() {
        auto* row = new QHBoxLayout;
        row->addStretch();
        auto* copy = new QPushButton(QStringLiteral("Copy Commands"), this);
        copy->setObjectName(QStringLiteral("copyCommands"));
        connect(copy, &QPushButton::clicked, this,
                [] { QGuiApplication::clipboard()->setText(manualAccessCommands()); });
        row->addWidget(copy);
        return row;
    }

    void grantAccess() {
        if (process_ != nullptr) return;  // one grant at a time
        process_ = new QProcess(this);
        grantStatus_->setText(QStringLiteral("Waiting for the administrator's password\u2026"));
        connect(process_, &QProcess::finished, this,
                [this](int exitCode, QProcess::ExitStatus status) {
                    showGrantResult(status == QProcess::NormalExit ? exitCode : -1);
                });
        connect(process_, &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
            if (error == QProcess::FailedToStart) showGrantResult(-1);
        });
        process_->start(grant_.pkexec, {grant_.helper});
    }

    void showGrantResult(int exitCode) {
        process_->deleteLater();
        process_ = nullptr;
        const QString outcome = grantOutcome(exitCode);
        grantStatus_->setText(outcome);
        // Something ran as root, or was refused: that belongs in the log as well as on the page.
        std::cerr << "glidewheel: Grant Access: " << outcome.toStdString() << '\n';
        if (accessMayHaveChanged_) accessMayHaveChanged_();
    }

    AccessGrant grant_;
    std::function<void()> accessMayHaveChanged_;
    QLabel* grantStatus_ = nullptr;
    QProcess* process_ = nullptr;
};

}  // namespace

bool AccessGrant::isAvailable() const {
    return isExecutableFile(pkexec) && isExecutableFile(helper);
}

QWidget* createInputAccessHelp(AccessGrant grant, std::function<void()> accessMayHaveChanged) {
    registerHelpResources();
    return new InputAccessHelpWindow(std::move(grant), std::move(accessMayHaveChanged));
}

QString findGrantAccessHelper(const QString& programDir) {
    const QDir dir(programDir);
    for (const QString& candidate :
         {dir.filePath(kHelperName),
          dir.filePath(QStringLiteral("../libexec/glidewheel/") + kHelperName)}) {
        if (isExecutableFile(candidate)) return QFileInfo(candidate).canonicalFilePath();
    }
    return {};
}

QString manualAccessCommands() {
    registerHelpResources();
    QFile ruleFile(QString::fromLatin1(kRuleResource));
    QStringList ruleLines;
    if (ruleFile.open(QIODevice::ReadOnly | QIODevice::Text)) {
        for (const QString& line : QString::fromUtf8(ruleFile.readAll()).split('\n')) {
            if (!line.isEmpty() && !line.startsWith('#')) ruleLines << line;
        }
    }
    return QStringLiteral("sudo tee %1 >/dev/null <<'EOF'\n").arg(kInstalledRule) +
           ruleLines.join('\n') +
           QStringLiteral(
               "\nEOF\n"
               "sudo modprobe uinput\n"
               "sudo udevadm control --reload-rules\n"
               "sudo udevadm trigger --subsystem-match=input --subsystem-match=misc\n");
}

QString inputAccessPromptText(bool inTray) {
    return inTray ? QStringLiteral(
                        "Glidewheel needs access to your mouse to smooth its scrolling. Click its "
                        "tray icon and choose \"Open Settings\" to grant it.")
                  : QStringLiteral(
                        "Glidewheel needs access to your mouse to smooth its scrolling. Choose "
                        "\"Accessibility Settings\u2026\" in the Glidewheel Settings window to "
                        "grant it.");
}

}  // namespace glidewheel
