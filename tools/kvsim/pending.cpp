#include "tools/kvsim/pending.h"

#include <winsim/files.h>

#include <filesystem>

namespace kvsim {

std::string ListPendingFileOperations(winsim::Machine& machine,
                                      const std::vector<winsim::PendingFileOperation>& before) {
    using Kind = winsim::PendingFileOperation::Kind;
    std::vector<std::string> known;
    for (const auto& op : before) known.push_back(op.text);
    std::string out;
    const bool nt = winsim::IsNtFamily(machine.Version());
    for (const auto& op : winsim::PendingFileOperations(machine)) {
        // Each earlier entry accounts for one equal entry now: a repeated line can be new.
        bool old = false;
        for (auto& text : known) {
            if (text == op.text) {
                text.clear();
                old = true;
                break;
            }
        }
        if (old) continue;
        const auto host = winsim::HostPath(op.source);
        std::error_code ec;
        const bool found = host && std::filesystem::exists(*host, ec);
        if (!nt) {
            out += "  " + op.text +
                   (op.kind == Kind::Ignored ? "   (skipped at boot: " + op.why + ")"
                    : found                  ? std::string()
                                             : std::string("   (source not found)")) +
                   "\n";
            continue;
        }
        out += "  " + op.source + " -> " + (op.kind == Kind::Delete ? std::string("DELETE") : op.target) +
               (op.kind == Kind::Replace ? "   (replacing)" : "") + (found ? "" : "   (source not found)") + "\n";
    }
    return out;
}

}  // namespace kvsim
