// libFuzzer target: arbitrary text loaded as a machine folder's programs.txt, the programs, simulated DLLs and
// processes of a machine (the round trip of text_round_trip.h).
#include "text_round_trip.h"

#include <winsim/machine.h>
#include <winsim/processes.h>

#include <memory>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // One machine for the whole run: making its folders for every input would be most of the work.
    static const auto machine = std::make_unique<winsim::ScopedMachine>(winsim::OsVersion::Win2000);
    fuzzing::CheckTextRoundTrip((*machine)->Processes(), data, size);
    return 0;
}
