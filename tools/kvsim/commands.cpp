#include "tools/kvsim/commands.h"

namespace kvsim {

const std::vector<Command>& Commands() {
    static const std::vector<Command> commands = {
        {"sections", "sections INF SECTION...",
         "which platform form of each section every Windows version uses", RunSections},
    };
    return commands;
}

}  // namespace kvsim
