// SPDX-License-Identifier: MIT

#include "app/command_line.h"

#include <algorithm>
#include <string>
#include <string_view>
#include <variant>

#include "platform/linux/desktop/build_bundle.h"
#include "platform/linux/desktop/xdg_autostart.h"

namespace glidewheel {

namespace {

std::string version() {
    const auto info = platform::linuxdesktop::BuildBundle().infoDictionary();
    return std::get<std::string>(info->at("CFBundleShortVersionString"));
}

}  // namespace

std::optional<int> answerInformationOptions(int argc, char* argv[], std::ostream& out) {
    for (int i = 1; i < argc; ++i) {
        const std::string_view argument = argv[i];
        if (argument == "--help" || argument == "-h") {
            out << "Usage: glidewheel [--background | --help | --version]\n"
                   "Smooth, gliding scrolling for wheel mice, from the system tray.\n"
                   "Running it again while it runs opens its settings window.\n"
                   "\n"
                   "  --background  open no window where there is no tray (as at login)\n"
                   "  --help        print this message and exit\n"
                   "  --version     print the version and exit\n";
            return 0;
        }
        if (argument == "--version") {
            out << "glidewheel " << version() << '\n';
            return 0;
        }
    }
    return std::nullopt;
}

bool startsInBackground(int argc, char* argv[]) {
    return std::find(argv + 1, argv + argc,
                     std::string_view(platform::linuxdesktop::kBackgroundOption)) != argv + argc;
}

}  // namespace glidewheel
