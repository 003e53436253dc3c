// libFuzzer target: arbitrary text loaded as a machine folder's device tree. Text that loads saves
// to text that loads back to the same tree; text that does not load leaves the tree as it was.
#include <winsim/devices.h>
#include <winsim/machine.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>

namespace {

void Check(bool condition) {
    if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // One machine for the whole run: making its folders for every input would be most of the work.
    static const auto machine = std::make_unique<winsim::ScopedMachine>(winsim::OsVersion::Win2000);
    winsim::DeviceTree& tree = (*machine)->Devices();
    const std::string before = tree.SaveText();
    std::string error;
    if (!tree.LoadText(std::string_view(reinterpret_cast<const char*>(data), size), &error)) {
        Check(!error.empty());
        Check(tree.SaveText() == before);
        return 0;
    }
    const std::string saved = tree.SaveText();
    Check(tree.LoadText(saved, &error));
    Check(tree.SaveText() == saved);
    return 0;
}
