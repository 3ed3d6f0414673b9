// SPDX-License-Identifier: MIT

#pragma once

#include <string>

namespace glidewheel {

// Where the program meets the system it grants itself access on. Compiled into each executable
// on its own, so that a test build can point at a stand-in system without privileges.

// Prefixed to the device nodes that input access is judged by ("" on a real system).
std::string systemRoot();
// The program that runs the grant helper as root after polkit has asked for an administrator.
std::string pkexecProgram();

}  // namespace glidewheel
