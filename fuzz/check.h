// The check every fuzz target makes of what it read: a condition that does not hold prints what was
// expected and aborts, which libFuzzer reports as a crash with the input that caused it.
#pragma once

#include <cstdio>
#include <cstdlib>

namespace fuzzing {

inline void Check(bool condition, const char* what = "a check of the fuzz target failed") {
    if (condition) return;
    std::fprintf(stderr, "%s\n", what);
    std::abort();
}

}  // namespace fuzzing
