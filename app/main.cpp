// SPDX-License-Identifier: MIT

#include <csignal>
#include <cstdlib>
#include <iostream>
#include <optional>

#include "app/accessibility_help.h"
#include "app/command_line.h"
#include "app/glidewheel_app.h"
#include "app/linux_backend.h"
#include "app/quit_on_signals.h"
#include "app/session.h"
#include "app/single_instance.h"
#include "app/system_paths.h"
#include "app/wheel_mice_link.h"

int main(int argc, char* argv[]) {
    using namespace glidewheel;

    if (const std::optional<int> status = answerInformationOptions(argc, argv, std::cout)) {
        return *status;
    }
    // Without a display that opens the toolkit would abort with a message about plugins; say
    // what is missing.
    const std::optional<std::string> platformName = choosePlatform(&std::getenv, &canOpenDisplay);
    if (!platformName) {
        std::cerr << kNoSessionMessage << '\n';
        return 1;
    }
    if (!platformName->empty()) qputenv("QT_QPA_PLATFORM", platformName->c_str());
    GlidewheelApp app(argc, argv);

    // Started at login, it brings a running instance nothing: no window opens at login.
    const bool inBackground = startsInBackground(argc, argv);
    app.appDelegate().setStartedInBackground(inBackground);
    SingleInstance instance(SingleInstance::defaultServerName());
    if (!instance.becomeRunningInstance(!inBackground)) return 0;
    QObject::connect(&instance, &SingleInstance::activationRequested, &app.appDelegate(),
                     &AppDelegate::openSettings);

    // Deliberately never deleted: the shared settings and interceptor use it until the process
    // ends, after main has returned.
    auto* backend =
        new LinuxBackend([&app] { app.appDelegate().promptForInputAccess(); }, systemRoot());
    platform::install(backend->services());
    app.appDelegate().setAccessGrant(
        {QString::fromStdString(pkexecProgram()),
         findGrantAccessHelper(QCoreApplication::applicationDirPath())});
    const WheelMiceLink wheelMice(Preferences::shared(), backend->eventTaps());
    // The application under the pointer is looked up only while applications are listed.
    const auto lookUpWhileListed = [&pointer = backend->pointerApplication()] {
        pointer.setNeeded(!Preferences::shared().rawWheelApplications()->empty());
    };
    lookUpWhileListed();
    const Cancellable listed =
        Preferences::shared().rawWheelApplicationsChanged().sink(lookUpWhileListed);
    // Logout and Ctrl+C quit through the normal path, which stops interception.
    QuitOnSignals quitOnSignals({SIGTERM, SIGINT});

    return app.run();
}
