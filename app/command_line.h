// SPDX-License-Identifier: MIT

#pragma once

#include <optional>
#include <ostream>

namespace glidewheel {

// Answers --help and --version, which need no display, on `out`: the status to exit with when
// either was given, nothing otherwise. Other arguments are left to the toolkit.
std::optional<int> answerInformationOptions(int argc, char* argv[], std::ostream& out);

// Whether --background was given: started at login, the program opens no window for a missing
// tray.
bool startsInBackground(int argc, char* argv[]);

}  // namespace glidewheel
