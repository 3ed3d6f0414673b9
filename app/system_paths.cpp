// SPDX-License-Identifier: MIT

#include "app/system_paths.h"

// A test build defines both; the real program uses the system itself.
#ifndef GLIDEWHEEL_SYSTEM_ROOT
#define GLIDEWHEEL_SYSTEM_ROOT ""
#endif
#ifndef GLIDEWHEEL_PKEXEC
#define GLIDEWHEEL_PKEXEC "/usr/bin/pkexec"
#endif

namespace glidewheel {

std::string systemRoot() { return GLIDEWHEEL_SYSTEM_ROOT; }

std::string pkexecProgram() { return GLIDEWHEEL_PKEXEC; }

}  // namespace glidewheel
