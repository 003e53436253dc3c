// libFuzzer target: arbitrary text loaded as a machine folder's services.txt, the service control manager's database with each service's script.
// Text that loads saves to text that loads back and saves the same again; text that does not load
// names its line and leaves what was kept as it was.
#include <winsim/services.h>
#include <winsim/machine.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>

namespace {

void Check(bool condition, const char* what) {
    if (condition) return;
    std::fprintf(stderr, "%s\n", what);
    std::abort();
}

// The text with its control bytes (but line ends) as \xNN, for a report.
std::string Shown(const std::string& text) {
    std::string shown;
    for (unsigned char c : text) {
        char hex[8];
        std::snprintf(hex, sizeof hex, "\\x%02x", c);
        shown += c < 0x20 && c != '\n' ? hex : std::string(1, static_cast<char>(c));
    }
    return shown;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // One machine for the whole run: making its folders for every input would be most of the work.
    static const auto machine = std::make_unique<winsim::ScopedMachine>(winsim::OsVersion::Win2000);
    auto& kept = (*machine)->Services();
    const std::string before = kept.SaveText();
    std::string error;
    if (!kept.LoadText(std::string_view(reinterpret_cast<const char*>(data), size), &error)) {
        Check(error.rfind("line ", 0) == 0, "a rejected text's error names no line");
        Check(kept.SaveText() == before, "a rejected text changed what was kept");
        return 0;
    }
    const std::string saved = kept.SaveText();
    Check(kept.LoadText(saved, &error), "the saved text does not load");
    const std::string again = kept.SaveText();
    if (again != saved) std::fprintf(stderr, "saved:\n%s\nthen:\n%s\n", Shown(saved).c_str(), Shown(again).c_str());
    Check(again == saved, "saving what was loaded changed the text");
    return 0;
}
