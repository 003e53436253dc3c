// libFuzzer target: arbitrary text as a scenario file. A text that parses has its steps in the order of
// their lines, each on a line the text has; a text that does not parse names a line it has.
#include "check.h"
#include "tools/scenario/scenario.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

using fuzzing::Check;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const int lines = static_cast<int>(std::count(text.begin(), text.end(), '\n')) + 1;
    scenario::Scenario parsed;
    std::string error;
    if (!scenario::ParseScenario(text, &parsed, &error)) {
        Check(!error.empty(), "a refused text says why");
        if (error.rfind("line ", 0) == 0)
            Check(std::atoi(error.c_str() + 5) >= 1 && std::atoi(error.c_str() + 5) <= lines,
                  "the error names a line the text has");
        return 0;
    }
    for (const auto* steps : {&parsed.state, &parsed.calls, &parsed.capture}) {
        int previous = 0;
        for (const auto& step : *steps) {
            Check(step.line > previous && step.line <= lines, "steps keep the order of their lines");
            Check(!step.verb.empty(), "every step has its verb");
            previous = step.line;
        }
    }
    return 0;
}
