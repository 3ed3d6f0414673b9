#pragma once

#include <string>
#include <vector>

namespace glidewheel::lab::testing {

struct LabRun {
    int exitCode;
    std::string out;
    std::string err;
};

// Runs the glidewheel-lab program with the given arguments.
LabRun runLab(const std::vector<std::string>& arguments);

// The cells of each CSV line after the header.
std::vector<std::vector<std::string>> csvRows(const std::string& csv);

}  // namespace glidewheel::lab::testing
