#include "tests/lab/lab_test_support.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>

namespace glidewheel::lab::testing {

namespace {

std::string shellQuoted(const std::string& text) {
    std::string quoted = "'";
    for (char c : text) {
        if (c == '\'') {
            quoted += "'\\''";
        } else {
            quoted += c;
        }
    }
    return quoted + "'";
}

std::string slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

}  // namespace

LabRun runLab(const std::vector<std::string>& arguments) {
    // Tests run in parallel processes: each run gets a file of its own for standard error.
    std::string errPath = ::testing::TempDir() + "glidewheel_lab_stderr_XXXXXX";
    const int fd = mkstemp(errPath.data());
    if (fd < 0) return LabRun{-1, {}, "cannot make a temporary file"};
    close(fd);
    std::string command = GLIDEWHEEL_LAB_PATH;
    for (const std::string& argument : arguments) command += " " + shellQuoted(argument);
    command += " 2>" + shellQuoted(errPath);

    LabRun run{-1, {}, {}};
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) {
        std::remove(errPath.c_str());
        return run;
    }
    char buffer[4096];
    std::size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) run.out.append(buffer, got);
    const int status = pclose(pipe);
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.err = slurp(errPath);
    std::remove(errPath.c_str());
    return run;
}

std::vector<std::vector<std::string>> csvRows(const std::string& csv) {
    std::vector<std::vector<std::string>> rows;
    std::istringstream lines(csv);
    std::string line;
    std::getline(lines, line);  // header
    while (std::getline(lines, line)) {
        std::vector<std::string> cells;
        std::size_t start = 0;
        for (;;) {
            const std::size_t comma = line.find(',', start);
            cells.push_back(line.substr(start, comma - start));
            if (comma == std::string::npos) break;
            start = comma + 1;
        }
        rows.push_back(cells);
    }
    return rows;
}

}  // namespace glidewheel::lab::testing
