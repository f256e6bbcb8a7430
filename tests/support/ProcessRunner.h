// Runs programs for tests: to the end with a time limit, capturing output.
#pragma once

#include <string>
#include <vector>

namespace kavo::test {

struct RunResult {
    int exitCode = -1;     // -1 when it did not end in time (it is then killed)
    bool timedOut = false;
    std::string out, err;
};

RunResult runProgram(const std::string& program, const std::vector<std::string>& args,
                     int timeoutMs = 30000, const std::string& input = {},
                     const std::string& workDir = {});

}  // namespace kavo::test
