// The file operations a machine has left for its next start, as kvsim lists them.
#pragma once

#include <winsim/machine.h>
#include <winsim/restart.h>

#include <string>
#include <vector>

namespace kvsim {

// One line per pending operation, in the order the restart carries them out, leaving out those
// already pending in `before` (a call lists the ones it added). On the NT family each pair of
// PendingFileRenameOperations with what Sysinternals PendMoves tells of it: "SOURCE -> DELETE" or
// "SOURCE -> TARGET", a rename over an existing file and a source that is not there marked; on 95/98
// the lines of WININIT.INI's [rename] section as they are, a line the boot would skip marked with
// why, one whose source is not there marked too. Empty when there are none.
std::string ListPendingFileOperations(winsim::Machine& machine,
                                      const std::vector<winsim::PendingFileOperation>& before = {});

}  // namespace kvsim
