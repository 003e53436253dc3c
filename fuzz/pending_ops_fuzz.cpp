// libFuzzer target: arbitrary bytes as the file operations a machine leaves for its next start, read
// as each family keeps them: the text of WININIT.INI on Windows 98, and the data of the session
// manager's PendingFileRenameOperations on Windows 2000. Each operation read is whole (a delete has no
// target, a rename has one, a skipped line says why), and the operations read, written back in the
// plain form (WININIT.INI lines; pairs appended as MoveFileEx does), read again the same.
#include <winsim/files.h>
#include <winsim/machine.h>
#include <winsim/registry.h>
#include <winsim/restart.h>
#include "check.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

using fuzzing::Check;

namespace {

using Kind = winsim::PendingFileOperation::Kind;

constexpr char kSessionManager[] = "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Session Manager";
constexpr char kPendingValue[] = "PendingFileRenameOperations";

bool Same(const winsim::PendingFileOperation& a, const winsim::PendingFileOperation& b) {
    return a.kind == b.kind && a.source == b.source && a.target == b.target;
}

void CheckWinInit(winsim::Machine& machine, const std::string& text) {
    winsim::SetCurrent(&machine);
    const std::string path = machine.WindowsDirectory() + "\\WININIT.INI";
    Check(winsim::WriteWholeFile(path, text), "cannot write WININIT.INI");
    const auto read = winsim::PendingFileOperations(machine);
    std::string written = "[rename]\r\n";
    std::vector<winsim::PendingFileOperation> kept;
    for (const auto& op : read) {
        Check(op.text.find('\n') == std::string::npos, "an operation's line holds a line end");
        if (op.kind == Kind::Ignored) {
            Check(!op.why.empty(), "a skipped line without its reason");
            continue;
        }
        Check(op.kind == Kind::Delete || op.kind == Kind::Replace, "WININIT.INI has only deletes and replaces");
        Check(!op.source.empty() && (op.kind == Kind::Delete) == op.target.empty(), "an operation is not whole");
        written += (op.kind == Kind::Delete ? std::string("NUL") : op.target) + "=" + op.source + "\r\n";
        kept.push_back(op);
    }
    Check(winsim::WriteWholeFile(path, written), "cannot write WININIT.INI");
    const auto again = winsim::PendingFileOperations(machine);
    Check(again.size() == kept.size(), "the written lines read as other operations");
    for (size_t i = 0; i < kept.size(); ++i) Check(Same(again[i], kept[i]), "a written line reads differently");
}

void CheckSessionManager(winsim::Machine& machine, const std::string& bytes) {
    winsim::SetCurrent(&machine);
    winsim::Registry& reg = machine.Reg();
    Check(reg.SetValue(kSessionManager, kPendingValue, REG_MULTI_SZ, std::vector<BYTE>(bytes.begin(), bytes.end())),
          "cannot set the pending renames");
    const auto read = winsim::PendingFileOperations(machine);
    reg.DeleteValue(kSessionManager, kPendingValue);
    std::vector<winsim::PendingFileOperation> kept;
    for (const auto& op : read) {
        // Every pair is kept as stored, a source of "\??\" alone (no path) among them.
        Check(op.kind != Kind::Ignored, "a pair was skipped");
        Check(op.kind != Kind::Delete || op.target.empty(), "a delete with a target");
        // A target of "!" or "\??\" alone names nothing: no call writes one.
        if (op.kind != Kind::Delete && op.target.empty()) continue;
        Check(winsim::AddPendingFileRename(machine, op.source, op.target, op.kind == Kind::Replace) == NO_ERROR,
              "cannot append a pending rename");
        kept.push_back(op);
    }
    const auto again = winsim::PendingFileOperations(machine);
    reg.DeleteValue(kSessionManager, kPendingValue);
    Check(again.size() == kept.size(), "the appended pairs read as other operations");
    for (size_t i = 0; i < kept.size(); ++i) Check(Same(again[i], kept[i]), "an appended pair reads differently");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // One machine of each family for the whole run.
    static const auto win98 = std::make_unique<winsim::ScopedMachine>(winsim::OsVersion::Win98);
    static const auto win2000 = std::make_unique<winsim::ScopedMachine>(winsim::OsVersion::Win2000);
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    CheckWinInit(**win98, bytes);
    CheckSessionManager(**win2000, bytes);
    return 0;
}
