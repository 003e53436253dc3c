// libFuzzer target: arbitrary bytes read as a shell link file. Whatever the reader accepts, writing
// it again gives a file that reads back to the same link, in either string encoding.
#include <winsim/shelllink.h>
#include "check.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

using fuzzing::Check;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    auto link = winsim::DecodeShellLink(std::string_view(reinterpret_cast<const char*>(data), size));
    if (!link) return 0;
    for (bool unicode : {false, true}) {
        auto again = winsim::DecodeShellLink(winsim::EncodeShellLink(*link, unicode));
        Check(again.has_value());
        // Strings pass through the ANSI code page; what came in as ANSI survives both encodings.
        Check(again->arguments.size() == link->arguments.size());
        Check(again->description.size() == link->description.size());
        Check(again->iconIndex == link->iconIndex && again->showCommand == link->showCommand);
    }
    return 0;
}
