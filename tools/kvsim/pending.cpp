#include "tools/kvsim/pending.h"

#include <winsim/files.h>
#include <winsim/restart.h>

#include <filesystem>

namespace kvsim {

std::string ListPendingFileOperations(winsim::Machine& machine) {
    using Kind = winsim::PendingFileOperation::Kind;
    std::string out;
    const bool nt = winsim::IsNtFamily(machine.Version());
    for (const auto& op : winsim::PendingFileOperations(machine)) {
        if (!nt) {
            out += "  " + op.text + (op.kind == Kind::Ignored ? "   (skipped at boot: " + op.why + ")" : "") + "\n";
            continue;
        }
        const auto host = winsim::HostPath(op.source);
        std::error_code ec;
        const bool found = host && std::filesystem::exists(*host, ec);
        out += "  Source: " + op.source + (found ? "" : "   (not found)") + "\n";
        out += "  Target: " + (op.kind == Kind::Delete ? std::string("DELETE") : op.target) +
               (op.kind == Kind::Replace ? "   (replacing)" : "") + "\n";
    }
    return out;
}

}  // namespace kvsim
