// For the parts of winsim that keep something for each machine (the simulated system DLLs): told
// when a machine is made and when it goes. A part registers itself from its own source file, so a
// program built without that file (a fuzz target) has a machine without it.
#pragma once

#include <winsim/machine.h>

namespace winsim {

void AddMachineObserver(void (*created)(Machine&), void (*destroyed)(Machine&));

}  // namespace winsim
