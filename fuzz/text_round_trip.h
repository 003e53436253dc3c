// The check the fuzz targets of the machine folder's texts share: arbitrary text loaded into a part of a
// simulated machine (anything with SaveText() and LoadText(text, &error)). Text that loads saves to
// text that loads back and saves the same again; text that does not load names its line and leaves
// what was kept as it was. A failed check prints both texts and aborts, which libFuzzer reports.
#pragma once

#include "check.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

namespace fuzzing {

// The text with its control bytes (but line ends) as \xNN, for a report.
inline std::string Shown(const std::string& text) {
    std::string shown;
    for (unsigned char c : text) {
        char hex[8];
        std::snprintf(hex, sizeof hex, "\\x%02x", c);
        shown += c < 0x20 && c != '\n' ? hex : std::string(1, static_cast<char>(c));
    }
    return shown;
}

template <typename Part>
void CheckTextRoundTrip(Part& kept, const uint8_t* data, size_t size) {
    const std::string before = kept.SaveText();
    std::string error;
    if (!kept.LoadText(std::string_view(reinterpret_cast<const char*>(data), size), &error)) {
        Check(error.rfind("line ", 0) == 0, "a rejected text's error names no line");
        Check(kept.SaveText() == before, "a rejected text changed what was kept");
        return;
    }
    const std::string saved = kept.SaveText();
    Check(kept.LoadText(saved, &error), "the saved text does not load");
    const std::string again = kept.SaveText();
    if (again != saved) std::fprintf(stderr, "saved:\n%s\nthen:\n%s\n", Shown(saved).c_str(), Shown(again).c_str());
    Check(again == saved, "saving what was loaded changed the text");
}

}  // namespace fuzzing
