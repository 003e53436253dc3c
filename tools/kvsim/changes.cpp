#include "tools/kvsim/changes.h"

#include <winsim/devices.h>
#include <winsim/dialogs.h>
#include <winsim/loader.h>
#include <winsim/processes.h>
#include <winsim/shelllink.h>
#include <winsim/text.h>
#include <winsim/win32api.h>
#include <winsim/windows.h>

#include <cctype>
#include <cstdio>
#include <filesystem>
#include <set>
#include <iterator>
#include <system_error>

namespace kvsim {

namespace fs = std::filesystem;

namespace {

// Every file and folder below the drive folders, with its Windows path.
template <typename Visit>
void WalkDrives(winsim::Machine& machine, Visit visit) {
    std::error_code ec;
    for (const auto& drive : fs::directory_iterator(machine.RootFolder(), ec)) {
        if (!drive.is_directory() || drive.path().filename().string().size() != 1) continue;
        const std::string letter = winsim::UpperAscii(drive.path().filename().string());
        for (auto it = fs::recursive_directory_iterator(drive.path(), ec); !ec && it != fs::recursive_directory_iterator();
             it.increment(ec)) {
            std::string windows = letter + ":";
            for (const auto& part : fs::relative(it->path(), drive.path())) windows += "\\" + part.string();
            visit(windows, *it);
        }
    }
}

std::string Quoted(const std::string& text) { return "\"" + text + "\""; }

// "-> TARGET ARGUMENTS (DESCRIPTION)" of a link file, or why it cannot be read.
std::string LinkSummary(const std::string& windowsPath) {
    auto link = winsim::ReadShellLink(windowsPath);
    if (!link) return "(not a readable shortcut)";
    std::string text = "-> " + link->target;
    if (!link->arguments.empty()) text += " " + link->arguments;
    if (!link->description.empty()) text += "  (" + Quoted(link->description) + ")";
    return text;
}

std::vector<long> g_supportCalls;

LONG WINAPI RecordBuildDriverDataBase(LONG argument) {
    g_supportCalls.push_back(argument);
    return 1;
}

const winsim::ExportEntry kSupportExports[] = {
    {"BuildDriverDataBase", winsim::AsExport(&RecordBuildDriverDataBase)},
    {nullptr, nullptr},
};

}  // namespace

CFileSnapshot::CFileSnapshot(winsim::Machine& machine) {
    WalkDrives(machine, [this](const std::string& windows, const fs::directory_entry& entry) {
        Entry e;
        e.windowsPath = windows;
        std::error_code ec;
        e.folder = entry.is_directory(ec);
        if (!e.folder) {
            e.size = entry.file_size(ec);
            e.written = entry.last_write_time(ec).time_since_epoch().count();
        }
        entries_[winsim::UpperAscii(windows)] = e;
    });
}

std::string CFileSnapshot::ChangesSince(const CFileSnapshot& before) const {
    std::string out;
    auto line = [&out](const char* what, const Entry& e) {
        out += std::string("  ") + what + "  " + e.windowsPath + (e.folder ? "\\" : "") + "\n";
        if (!e.folder && std::string(what) != "deleted" && winsim::EndsWithNoCase(e.windowsPath, ".lnk"))
            out += "           " + LinkSummary(e.windowsPath) + "\n";
    };
    for (const auto& [key, e] : before.entries_)
        if (!entries_.count(key)) line("deleted", e);
    for (const auto& [key, e] : entries_) {
        auto old = before.entries_.find(key);
        if (old == before.entries_.end()) {
            line("created", e);
        } else if (!e.folder && (old->second.size != e.size || old->second.written != e.written)) {
            line("changed", e);
        }
    }
    return out;
}

CDeviceSnapshot::CDeviceSnapshot(winsim::Machine& machine) : machine_(machine) {
    const auto& tree = machine.Devices();
    for (const auto& node : tree.Nodes()) ids_.push_back(winsim::UpperAscii(node.instanceId));
    removed_ = tree.Removed().size();
    reenumerations_ = tree.Reenumerations().size();
    supportCalls_ = g_supportCalls.size();
}

std::string CDeviceSnapshot::ChangesSince(const CDeviceSnapshot& before) const {
    std::string out;
    const auto& tree = machine_.Devices();
    for (size_t i = before.removed_; i < tree.Removed().size(); ++i) out += "  removed  " + tree.Removed()[i] + "\n";
    for (size_t i = before.supportCalls_; i < g_supportCalls.size(); ++i)
        out += "  kvthk32.dll BuildDriverDataBase(" + std::to_string(g_supportCalls[i]) + ") called\n";
    for (size_t i = before.reenumerations_; i < tree.Reenumerations().size(); ++i) {
        const ULONG flags = tree.Reenumerations()[i];
        out += std::string("  device tree re-enumerated from its root") +
               ((flags & CM_REENUMERATE_SYNCHRONOUS) ? " (waited for the end)" : "") + "\n";
    }
    for (const auto& node : tree.Nodes()) {
        bool known = false;
        for (const auto& id : before.ids_) known = known || id == winsim::UpperAscii(node.instanceId);
        if (!known) out += "  found    " + node.instanceId + "\n";
    }
    return out;
}

std::string MessageBoxesSince(winsim::Machine& machine, size_t before) {
    static const char* const kButtons[] = {"", "OK", "Cancel", "Abort", "Retry", "Ignore", "Yes", "No"};
    const auto& boxes = machine.Dialogs().MessageBoxes();
    std::string out;
    for (size_t i = before; i < boxes.size(); ++i) {
        const auto& box = boxes[i];
        const bool known = box.answer > 0 && box.answer < static_cast<int>(std::size(kButtons));
        out += "  \"" + box.caption + "\": " + box.text + "\n           answered " +
               (known ? kButtons[box.answer] : std::to_string(box.answer)) + "\n";
    }
    return out;
}

std::string ListShortcuts(winsim::Machine& machine) {
    std::map<std::string, std::string> links;  // in path order
    WalkDrives(machine, [&links](const std::string& windows, const fs::directory_entry& entry) {
        std::error_code ec;
        if (entry.is_regular_file(ec) && winsim::EndsWithNoCase(windows, ".lnk"))
            links[winsim::UpperAscii(windows)] = "  " + windows + "\n           " + LinkSummary(windows) + "\n";
    });
    std::string out;
    for (const auto& [key, text] : links) out += text;
    return out;
}

std::string ListDevices(winsim::Machine& machine) {
    std::string out;
    for (const auto& node : machine.Devices().Nodes()) {
        out += "  " + node.instanceId + "  " + node.className + (node.present ? "" : ", not present") + "\n";
        std::string ids;
        for (const auto& id : node.hardwareIds) ids += (ids.empty() ? "" : ", ") + id;
        if (!ids.empty()) out += "           " + ids + "\n";
    }
    return out;
}

std::string ProcessesSince(winsim::Machine& machine, size_t before) {
    auto& processes = machine.Processes();
    const auto running = processes.Running();  // first: ends what is due
    const auto events = processes.Events();
    std::string out;
    std::set<DWORD> started;
    for (size_t i = before; i < events.size(); ++i) {
        out += "  " + winsim::DescribeProcessEvent(events[i]) + "\n";
        if (events[i].kind == winsim::ProcessEvent::Kind::Started) started.insert(events[i].id);
    }
    for (const auto& p : running)
        if (started.count(p.id)) out += "  process " + std::to_string(p.id) + " still running\n";
    return out;
}

std::string ListRunningProcesses(winsim::Machine& machine) {
    std::string out;
    for (const auto& p : machine.Processes().Running()) {
        char since[32];
        std::snprintf(since, sizeof since, "%.1f s", static_cast<double>(p.startedMs) / 1000.0);
        out += "  process " + std::to_string(p.id) + "  " + p.program + "  \"" + p.commandLine + "\"\n" +
               "           running since " + since + (p.endsMs ? "" : ", never ends by itself") + "\n";
    }
    return out;
}

std::string MessagesSince(winsim::Machine& machine, size_t before) {
    const auto& windows = machine.Windows();
    const auto& log = windows.Messages();
    std::string out;
    for (size_t i = before; i < log.size(); ++i) {
        const auto& m = log[i];
        const auto* window = windows.Find(m.window);
        char line[160];
        std::snprintf(line, sizeof line, "  %s message %u (0x%04X) to window %p, wParam 0x%llX, lParam 0x%llX",
                      m.kind == winsim::Windows::Message::Kind::Posted ? "posted" : "sent  ", m.message, m.message,
                      static_cast<void*>(m.window), static_cast<unsigned long long>(m.wParam),
                      static_cast<unsigned long long>(m.lParam));
        out += line;
        if (window) out += " (" + window->className + " \"" + window->title + "\")";
        if (m.kind == winsim::Windows::Message::Kind::Sent)
            out += m.result ? " -> " + std::to_string(*m.result) : std::string(" -> the window procedure faulted");
        out += "\n";
    }
    return out;
}

std::string CursorChangesSince(winsim::Machine& machine, size_t before) {
    const auto& changes = machine.Windows().CursorChanges();
    std::string out;
    for (size_t i = before; i < changes.size(); ++i) {
        const char* name = winsim::Windows::CursorName(changes[i]);
        out += (out.empty() ? "  " : ", ") + std::string(changes[i] ? (name ? name : "?") : "none");
    }
    return out.empty() ? out : out + "\n";
}

void SimulateSupportLibraries(winsim::Machine& machine) {
    WalkDrives(machine, [](const std::string& windows, const fs::directory_entry& entry) {
        std::error_code ec;
        if (!entry.is_regular_file(ec) || !winsim::EndsWithNoCase(windows, "\\kvthk32.dll")) return;
        winsim::ModuleImage image;
        image.fileName = windows;
        image.exports = kSupportExports;
        // A DLL on disk: loaded only when the library asks for it.
        FreeLibrary(winsim::RegisterModule(image));
    });
}

}  // namespace kvsim
