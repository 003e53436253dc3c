// libFuzzer target: arbitrary text loaded as a .reg file into a fresh registry, then saved. Whatever
// the loader made of it, saving is a fixed point: the saved text loads back without error and saves
// to the same text again.
#include <winsim/registry.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    winsim::Registry registry(winsim::OsVersion::Win2000, winsim::Registry::Contents::Empty);
    std::string error;
    registry.LoadRegText(std::string_view(reinterpret_cast<const char*>(data), size), &error);
    const std::string saved = registry.SaveRegText();

    winsim::Registry again(winsim::OsVersion::Win2000, winsim::Registry::Contents::Empty);
    if (!again.LoadRegText(saved, &error)) {
        std::fprintf(stderr, "saved text does not load: %s\n", error.c_str());
        std::abort();
    }
    if (again.SaveRegText() != saved) {
        std::fprintf(stderr, "saving what was loaded changed the text\n");
        std::abort();
    }
    return 0;
}
