// The file operations a machine has left for its next start, as kvsim lists them.
#pragma once

#include <winsim/machine.h>

#include <string>

namespace kvsim {

// One entry per pending operation, in the order the restart carries them out. On the NT family each
// pair of PendingFileRenameOperations as Sysinternals PendMoves shows it ("Source:" and "Target:",
// DELETE for a deletion, a source that is not there marked); on 95/98 the lines of WININIT.INI's
// [rename] section as they are, a line the boot would skip marked with why. Empty when none.
std::string ListPendingFileOperations(winsim::Machine& machine);

}  // namespace kvsim
