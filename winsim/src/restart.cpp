// The restart of a simulated machine (restart.h).
//
// How each case a pending file operation can meet is settled, from Microsoft's documentation of
// MoveFileEx, of WININIT.INI (KB Q140570, Q129532) and of failed boot-time renames (KB Q202071):
//   - The operations run in the order stored; one that cannot be done is skipped, with nothing
//     shown to the user at boot, and the rest still run. The report names the reason.
//   - A source that no longer exists: nothing happens (the session manager cannot open it; WININIT
//     finds no file).
//   - A target that exists: on the NT family only a pair marked "!" (MOVEFILE_REPLACE_EXISTING)
//     replaces it; without the mark the rename fails and the source stays (Q202071). WININIT always
//     replaces an existing destination file (Q140570's "C:\EXISTING.TXT=..." line).
//   - A target that is an existing folder is never replaced, and a rename never creates the folder
//     it goes into.
//   - Folders: the NT family deletes a folder only when it is empty and renames folders as files;
//     WININIT moves and deletes files only.
//   - Source and target must be on the same drive (delayed renames are renames, never copies).
//   - Read-only files are deleted and replaced like any other: the documentation asks only for the
//     right to delete (Q202071) on the NT family and names no condition but short names on 95/98.
//   - WININIT.INI is read before long file names are available, so a line naming a path that is not
//     made of 8.3 names is skipped (Q140570), as is a line without '='. Its "[rename]" section is
//     found whatever the letter case of its name: programs write it as "Rename" through
//     WritePrivateProfileString (Q129532) and WININIT reads those.
//
// The clock. The restart costs kRestartMs of simulated time, so local time moves on and never goes
// back. GetTickCount does not start again from zero: the machine has one clock that both it and the
// local time are read from, and no program outlives a restart to compare tick counts across it.
#include <winsim/files.h>
#include <winsim/machine.h>
#include <winsim/processes.h>
#include <winsim/registry.h>
#include <winsim/restart.h>
#include <winsim/services.h>
#include <winsim/shortnames.h>
#include <winsim/text.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string_view>
#include <system_error>

namespace winsim {

namespace fs = std::filesystem;

namespace {

constexpr const char kSessionManager[] = "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Session Manager";
constexpr const char kPendingValue[] = "PendingFileRenameOperations";

void RequireCurrent(Machine& machine) {
    if (HasCurrent() && &Current() == &machine) return;
    std::fputs("winsim: a restart or its pending file operations asked of a machine that is not current\n", stderr);
    std::abort();
}

std::string_view Trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
    return s;
}

std::string WinInitPath(Machine& machine) { return machine.WindowsDirectory() + "\\WININIT.INI"; }

// "\??\C:\x" as the NT form stores a path; "C:\x" is taken as it is.
std::string FromNtPath(std::string_view path) {
    if (path.substr(0, 4) == "\\??\\") path.remove_prefix(4);
    return std::string(path);
}

// "X:\NAME\NAME.EXT": a full path of 8.3 names, the only form WININIT can use.
bool IsShortPath(std::string_view path) {
    if (path.size() < 4 || path[1] != ':' || path[2] != '\\') return false;
    path.remove_prefix(3);
    while (!path.empty()) {
        const size_t slash = path.find('\\');
        if (!ShortNames::IsShortName(path.substr(0, slash))) return false;
        if (slash == std::string_view::npos) break;
        path.remove_prefix(slash + 1);
    }
    return true;
}

std::vector<PendingFileOperation> NtOperations(Machine& machine) {
    std::vector<PendingFileOperation> out;
    const auto value = machine.Reg().GetValue(kSessionManager, kPendingValue);
    if (!value) return out;
    // The strings one after the other; a delete's empty target is a string like any other, so the
    // list is read as pairs to its end, and the empty pair of the list's terminator dropped.
    std::vector<std::string> strings(1);
    for (BYTE b : value->data) {
        if (b == 0) {
            strings.emplace_back();
        } else {
            strings.back() += static_cast<char>(b);
        }
    }
    for (size_t i = 0; i + 1 < strings.size(); i += 2) {
        const std::string& source = strings[i];
        std::string_view target = strings[i + 1];
        if (source.empty()) continue;
        PendingFileOperation op;
        op.source = FromNtPath(source);
        op.text = "\"" + source + "\" -> \"" + std::string(target) + "\"";
        if (target.empty()) {
            op.kind = PendingFileOperation::Kind::Delete;
        } else {
            op.kind = PendingFileOperation::Kind::Rename;
            if (target[0] == '!') {
                op.kind = PendingFileOperation::Kind::Replace;
                target.remove_prefix(1);
            }
            op.target = FromNtPath(target);
        }
        out.push_back(std::move(op));
    }
    return out;
}

std::vector<PendingFileOperation> WinInitOperations(Machine& machine) {
    std::vector<PendingFileOperation> out;
    const auto text = ReadWholeFile(WinInitPath(machine));
    if (!text) return out;
    bool inRename = false;
    std::string_view rest = *text;
    while (!rest.empty()) {
        const size_t end = rest.find('\n');
        const std::string_view line = Trim(rest.substr(0, end));
        rest.remove_prefix(end == std::string_view::npos ? rest.size() : end + 1);
        if (line.empty() || line[0] == ';') continue;
        if (line[0] == '[') {
            const size_t close = line.find(']');
            inRename = close != std::string_view::npos && EqualsNoCase(Trim(line.substr(1, close - 1)), "rename");
            continue;
        }
        if (!inRename) continue;
        PendingFileOperation op;
        op.text = std::string(line);
        const size_t equals = line.find('=');
        if (equals == std::string_view::npos) {
            op.kind = PendingFileOperation::Kind::Ignored;
            op.why = "no '='";
            out.push_back(std::move(op));
            continue;
        }
        const std::string_view key = Trim(line.substr(0, equals));
        op.source = std::string(Trim(line.substr(equals + 1)));
        if (EqualsNoCase(key, "NUL")) {
            op.kind = PendingFileOperation::Kind::Delete;
        } else {
            op.kind = PendingFileOperation::Kind::Replace;
            op.target = std::string(key);
        }
        // An empty name before the '=' is no path either.
        if (!IsShortPath(op.source) || (op.kind == PendingFileOperation::Kind::Replace && !IsShortPath(op.target))) {
            op.kind = PendingFileOperation::Kind::Ignored;
            op.why = "not a full path of short (8.3) names";
        }
        out.push_back(std::move(op));
    }
    return out;
}

bool Exists(const std::string& host) {
    std::error_code ec;
    return fs::exists(fs::symlink_status(host, ec));
}

// Carries out one operation on the drives; returns the report's text of what happened. The machine's
// short names need no word from here: a deleted file's is free once the file is gone, and a file
// renamed is given one when next asked (shortnames.h).
std::string CarryOut(const PendingFileOperation& op, bool filesOnly) {
    using Kind = PendingFileOperation::Kind;
    if (op.kind == Kind::Ignored) return "skipped \"" + op.text + "\": " + op.why;
    std::error_code ec;
    const auto source = HostPath(op.source);
    if (op.kind == Kind::Delete) {
        if (!source || !Exists(*source)) return "did not delete " + op.source + ": not found";
        if (fs::is_directory(*source, ec)) {
            if (filesOnly) return "did not delete " + op.source + ": a folder";
            if (!fs::is_empty(*source, ec)) return "did not delete " + op.source + ": the folder is not empty";
            fs::remove(*source, ec);
            return ec ? "did not delete " + op.source + ": " + ec.message() : "deleted the folder " + op.source;
        }
        fs::remove(*source, ec);
        return ec ? "did not delete " + op.source + ": " + ec.message() : "deleted " + op.source;
    }
    const std::string what = "did not rename " + op.source + " to " + op.target + ": ";
    const auto fullSource = FullWindowsPath(op.source);
    const auto fullTarget = FullWindowsPath(op.target);
    const auto target = HostPath(op.target);
    if (!source || !Exists(*source)) return what + "the source is not found";
    if (!fullSource || !fullTarget || !target || (*fullSource)[0] != (*fullTarget)[0])
        return what + "the target is not on the same drive";
    const bool folder = fs::is_directory(*source, ec);
    if (folder && filesOnly) return what + "the source is a folder";
    if (!fs::is_directory(fs::path(*target).parent_path(), ec)) return what + "the target's folder is not found";
    // The same file under another spelling is no collision.
    bool replacing = false;
    if (Exists(*target) && !fs::equivalent(*source, *target, ec)) {
        if (fs::is_directory(*target, ec)) return what + "the target is an existing folder";
        if (op.kind == Kind::Rename) return what + "the target exists and was not to be replaced";
        fs::remove(*target, ec);
        if (ec) return what + ec.message();
        replacing = true;
    }
    fs::rename(*source, *target, ec);
    if (ec) return what + ec.message();
    return "renamed " + op.source + " to " + op.target + (replacing ? " (replacing the file there)" : "");
}

}  // namespace

// The NT family's list is the session manager's REG_MULTI_SZ of pairs; a new pair follows the last.
DWORD AddPendingFileRename(Machine& machine, const std::string& source, const std::string& target, bool replace) {
    if (machine.CallerAccount() == Machine::Account::User) return ERROR_ACCESS_DENIED;
    Registry& reg = machine.Reg();
    std::vector<BYTE> data;
    if (auto kept = reg.GetValue(kSessionManager, kPendingValue); kept && kept->type == REG_MULTI_SZ) {
        data = kept->data;
        // Without the list's closing NUL, so the new pair follows the last one.
        if (data.size() >= 2 && data[data.size() - 1] == 0 && data[data.size() - 2] == 0) {
            data.pop_back();
        } else if (!data.empty() && data.back() != 0) {
            data.push_back(0);
        }
    }
    const std::string to = target.empty() ? std::string() : std::string(replace ? "!" : "") + "\\??\\" + target;
    for (const std::string& text : {"\\??\\" + source, to}) {
        data.insert(data.end(), text.begin(), text.end());
        data.push_back(0);
    }
    data.push_back(0);
    if (!reg.CreateKey(kSessionManager) || !reg.SetValue(kSessionManager, kPendingValue, REG_MULTI_SZ, data))
        return ERROR_ACCESS_DENIED;
    return NO_ERROR;
}

std::vector<PendingFileOperation> PendingFileOperations(Machine& machine) {
    RequireCurrent(machine);
    return IsNtFamily(machine.Version()) ? NtOperations(machine) : WinInitOperations(machine);
}

std::vector<std::string> Restart(Machine& machine) {
    RequireCurrent(machine);
    std::vector<std::string> report;

    // The shutdown ends the programs, then the services; the services' boot is done here too, for
    // the report's sake (its lines go after the file operations, which touch nothing services read).
    for (const auto& p : machine.Processes().EndAll())
        report.push_back("shutdown: process " + std::to_string(p.id) + " (" + p.program + ") ended");
    const size_t eventsBefore = machine.Services().Events().size();
    machine.Services().Restart();
    const auto events = machine.Services().Events();
    std::vector<std::string> bootLines;
    for (size_t i = eventsBefore; i < events.size(); ++i) {
        const auto& e = events[i];
        std::string line = "service " + e.name + " " + ServiceEventName(e.kind);
        if (e.kind == ServiceEvent::Kind::StartFailed) line += " (error " + std::to_string(e.error) + ")";
        if (e.kind == ServiceEvent::Kind::Stopped) {
            report.push_back("shutdown: " + line);
        } else {
            bootLines.push_back("boot: " + line);
        }
    }
    const auto operations = PendingFileOperations(machine);
    if (IsNtFamily(machine.Version())) {
        for (const auto& op : operations) report.push_back("session manager: " + CarryOut(op, false));
        if (machine.Reg().DeleteValue(kSessionManager, kPendingValue))
            report.push_back(std::string("session manager: removed the registry value ") + kPendingValue);
    } else if (const auto ini = HostPath(WinInitPath(machine)); ini && fs::is_regular_file(*ini)) {
        for (const auto& op : operations) report.push_back("wininit: " + CarryOut(op, true));
        const auto bak = HostPath(machine.WindowsDirectory() + "\\WININIT.BAK");
        std::error_code ec;
        if (bak && Exists(*bak)) fs::remove(*bak, ec);
        if (bak) fs::rename(*ini, fs::path(*bak).parent_path() / "WININIT.BAK", ec);
        report.push_back(!bak || ec ? "wininit: could not rename WININIT.INI to WININIT.BAK"
                                    : "wininit: renamed WININIT.INI to WININIT.BAK");
    }

    report.insert(report.end(), bootLines.begin(), bootLines.end());
    machine.Advance(kRestartMs);
    report.push_back("clock: the restart took " + std::to_string(kRestartMs / 1000) +
                     " s of simulated time (GetTickCount counts on from the first start)");
    return report;
}

}  // namespace winsim
