// libFuzzer target: arbitrary text read as SDDL and as a machine folder's keysecurity.txt.
// SDDL that parses writes back (ToSddl) to SDDL that parses to the same descriptor, and the
// self-relative form of that descriptor reads back to it. Security text that loads saves to text
// that loads back and saves the same again; text that does not load names its line.
#include <winsim/machine.h>
#include <winsim/registry.h>
#include <winsim/security.h>
#include "check.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>

using fuzzing::Check;

namespace {

void CheckSddl(std::string_view text) {
    winsim::SecurityDescriptorData descriptor;
    std::string error;
    if (!winsim::ParseSddl(text, &descriptor, &error)) {
        Check(!error.empty(), "rejected SDDL without a reason");
        return;
    }
    const std::string written = winsim::ToSddl(descriptor);
    winsim::SecurityDescriptorData again;
    Check(winsim::ParseSddl(written, &again, &error), "written SDDL does not parse");
    Check(again == descriptor, "written SDDL parses to another descriptor");
    Check(winsim::ToSddl(again) == written, "SDDL is not written the same twice");
    const std::vector<BYTE> relative = winsim::ToSelfRelative(descriptor);
    winsim::SecurityDescriptorData read;
    Check(winsim::ReadDescriptor(relative.data(), &read), "the self-relative form does not read");
    Check(read == descriptor, "the self-relative form reads as another descriptor");
}

// Puts every key the last input gave security of its own back to its default.
void Reset(winsim::Security& security) {
    const std::string saved = security.SaveSecurityText();
    std::string_view rest = saved;
    while (!rest.empty()) {
        const size_t end = rest.find('\n');
        const std::string_view line = rest.substr(0, end);
        rest.remove_prefix(end == std::string_view::npos ? rest.size() : end + 1);
        const size_t equals = line.rfind('=');
        if (equals != std::string_view::npos) security.ResetKeySecurity(line.substr(0, equals));
    }
    Check(security.SaveSecurityText().empty(), "keys kept security after their reset");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    CheckSddl(text);

    // One machine for the whole run, with keys of its own in both hives.
    static const auto machine = [] {
        auto made = std::make_unique<winsim::ScopedMachine>(winsim::OsVersion::Win2000);
        (*made)->Reg().CreateKey("HKLM\\SOFTWARE\\Korvane\\Quillex Pro");
        (*made)->Reg().CreateKey("HKU\\.DEFAULT\\Software\\Korvane");
        return made;
    }();
    winsim::Security& security = (*machine)->Security();
    Reset(security);
    std::string error;
    if (!security.LoadSecurityText(text, &error)) {
        Check(error.rfind("line ", 0) == 0, "a rejected text's error names no line");
        return 0;
    }
    const std::string saved = security.SaveSecurityText();
    Reset(security);
    Check(security.LoadSecurityText(saved, &error), "the saved text does not load");
    Check(security.SaveSecurityText() == saved, "saving what was loaded changed the text");
    return 0;
}
