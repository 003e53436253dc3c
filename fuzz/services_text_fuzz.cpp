// libFuzzer target: arbitrary text loaded as a machine folder's services.txt, the service control manager's database
// with each service's script (the round trip of text_round_trip.h).
#include "text_round_trip.h"

#include <winsim/machine.h>
#include <winsim/services.h>

#include <memory>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // One machine for the whole run: making its folders for every input would be most of the work.
    static const auto machine = std::make_unique<winsim::ScopedMachine>(winsim::OsVersion::Win2000);
    fuzzing::CheckTextRoundTrip((*machine)->Services(), data, size);
    return 0;
}
