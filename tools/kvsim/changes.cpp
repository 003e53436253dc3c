#include "tools/kvsim/changes.h"
#include "tools/kvsim/keysecurity.h"
#include "tools/kvsim/pending.h"

#include <winsim/devices.h>
#include <winsim/dialogs.h>
#include <winsim/loader.h>
#include <winsim/processes.h>
#include <winsim/services.h>
#include <winsim/shelllink.h>
#include <winsim/text.h>
#include <winsim/win32api.h>
#include <winsim/windows.h>

#include <cctype>
#include <cstdio>
#include <filesystem>
#include <iterator>
#include <set>
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
        for (auto it = fs::recursive_directory_iterator(drive.path(), ec);
             !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
            std::string windows = letter + ":";
            for (const auto& part : fs::relative(it->path(), drive.path())) windows += "\\" + part.string();
            visit(windows, *it);
        }
    }
}

std::string Quoted(const std::string& text) { return "\"" + text + "\""; }

// Text in the machine's ANSI code page (1252) as UTF-8, for the terminal.
std::string AnsiToUtf8(const std::string& text) {
    if (text.empty()) return text;
    const int length = static_cast<int>(text.size());
    std::u16string wide(static_cast<size_t>(MultiByteToWideChar(CP_ACP, 0, text.data(), length, nullptr, 0)), u'\0');
    MultiByteToWideChar(CP_ACP, 0, text.data(), length, wide.data(), static_cast<int>(wide.size()));
    const WCHAR* w = wide.data();
    std::string utf8(static_cast<size_t>(WideCharToMultiByte(CP_UTF8, 0, w, static_cast<int>(wide.size()), nullptr, 0,
                                                             nullptr, nullptr)),
                     '\0');
    WideCharToMultiByte(CP_UTF8, 0, w, static_cast<int>(wide.size()), utf8.data(), static_cast<int>(utf8.size()),
                        nullptr, nullptr);
    return utf8;
}

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

std::string MessageBoxesSince(winsim::Machine& machine, size_t before, bool scripted) {
    static const char* const kButtons[] = {"",    "OK", "Cancel", "Abort", "Retry",     "Ignore",
                                           "Yes", "No", "",       "",      "Try Again", "Continue"};
    static const char* const kButtonSets[] = {
        "OK",      "OK, Cancel",    "Abort, Retry, Ignore",       "Yes, No, Cancel",
        "Yes, No", "Retry, Cancel", "Cancel, Try Again, Continue"};
    static const char* const kIcons[] = {"", "; icon stop", "; icon question", "; icon exclamation",
                                         "; icon information"};
    const auto& boxes = machine.Dialogs().MessageBoxes();
    std::string out;
    for (size_t i = before; i < boxes.size(); ++i) {
        const auto& box = boxes[i];
        const UINT buttons = box.type & MB_TYPEMASK, icon = (box.type & 0xF0) >> 4;
        out += "  caption: \"" + AnsiToUtf8(box.caption) + "\"   buttons " +
               (buttons < std::size(kButtonSets) ? kButtonSets[buttons] : "?") +
               (icon < std::size(kIcons) ? kIcons[icon] : "") + "\n";
        // The text line by line, under one another.
        const std::string text = AnsiToUtf8(box.text);
        const char* label = "  text:    ";
        for (size_t start = 0; start <= text.size();) {
            size_t end = text.find('\n', start);
            if (end == std::string::npos) end = text.size();
            std::string line = text.substr(start, end - start);
            if (!line.empty() && line.back() == '\r') line.pop_back();
            out += line.empty() ? "\n" : label + line + "\n";
            label = "           ";
            start = end + 1;
        }
        const bool known =
            box.answer > 0 && box.answer < static_cast<int>(std::size(kButtons)) && *kButtons[box.answer];
        out += std::string("  answer:  ") + (known ? kButtons[box.answer] : std::to_string(box.answer)) +
               (scripted ? " (--answer)" : " (the default button)") + "\n";
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

std::string MessageName(UINT message) {
    static const struct {
        UINT id;
        const char* name;
    } kNames[] = {
        {0x0000, "WM_NULL"},
        {0x0001, "WM_CREATE"},
        {0x0002, "WM_DESTROY"},
        {0x000C, "WM_SETTEXT"},
        {0x0010, "WM_CLOSE"},
        {0x0011, "WM_QUERYENDSESSION"},
        {0x0012, "WM_QUIT"},
        {0x0016, "WM_ENDSESSION"},
        {0x001A, "WM_SETTINGCHANGE"},
        {0x0111, "WM_COMMAND"},
        {0x0112, "WM_SYSCOMMAND"},
        {0x0113, "WM_TIMER"},
        {0x0219, "WM_DEVICECHANGE"},
        // The library's own, to the setup program's notification window.
        {WM_USER + 100, "WM_USER+100 (cleanup result)"},
        {WM_USER + 101, "WM_USER+101 (cleanup progress)"},
    };
    for (const auto& n : kNames)
        if (n.id == message) return n.name;
    char text[40];
    if (message >= WM_USER && message < 0x8000)
        std::snprintf(text, sizeof text, "WM_USER+%u", message - WM_USER);
    else if (message >= 0x8000 && message < 0xC000)
        std::snprintf(text, sizeof text, "WM_APP+%u", message - 0x8000);
    else
        std::snprintf(text, sizeof text, "message 0x%04X", message);
    return text;
}

std::string DescribeProcess(winsim::Machine& machine, const winsim::ProcessRecord& p) {
    auto seconds = [](uint64_t ms) {
        char text[32];
        std::snprintf(text, sizeof text, "%.1f s", static_cast<double>(ms) / 1000.0);
        return std::string(text);
    };
    const char* const indent = "           ";
    std::string out = "  process " + std::to_string(p.id) + "  " + p.program + "\n" + indent +
                      "command line: " + p.commandLine + "\n" + indent + "running since " + seconds(p.startedMs) +
                      (p.endsMs ? ", ends by itself at " + seconds(*p.endsMs) : std::string(", never ends by itself"));
    switch (p.quit) {
        case winsim::ProgramScript::Quit::Ends: out += "; WM_QUIT ends it"; break;
        case winsim::ProgramScript::Quit::After:
            out += "; WM_QUIT ends it " + std::to_string(p.quitMs) + " ms later";
            break;
        case winsim::ProgramScript::Quit::Ignores: out += "; it ignores WM_QUIT"; break;
    }
    if (p.account == winsim::Machine::Account::LocalSystem) out += "; runs as LocalSystem";
    if (p.account == winsim::Machine::Account::User) out += "; runs as a user without administrator rights";
    out += "\n";
    for (size_t i = 0; i < p.threads.size(); ++i) {
        const auto& t = p.threads[i];
        out += indent + std::string("thread ") + std::to_string(t.id) + (i == 0 ? " (main): " : ": ");
        if (!t.queueFromMs)
            out += "no message queue\n";
        else if (*t.queueFromMs <= p.startedMs)
            out += "message queue\n";
        else
            out += "message queue from " + seconds(*t.queueFromMs) + "\n";
    }
    for (HWND handle : p.windows) {
        const auto* w = machine.Windows().Find(handle);
        if (!w) continue;
        char id[32];
        std::snprintf(id, sizeof id, "%p", static_cast<void*>(handle));
        out += indent + std::string("window ") + id + " \"" + w->title + "\", class \"" + w->className + "\": ";
        if (w->closesOnAttempt == 0)
            out += "never closes on WM_CLOSE";
        else
            out += w->closesOnAttempt == 1 ? std::string("closes on the first WM_CLOSE")
                                           : "closes on WM_CLOSE number " + std::to_string(w->closesOnAttempt);
        if (w->closeAttempts) out += ", has had " + std::to_string(w->closeAttempts);
        out += "\n";
    }
    return out;
}

std::string ListRunningProcesses(winsim::Machine& machine) {
    std::string out;
    for (const auto& p : machine.Processes().Running()) out += DescribeProcess(machine, p);
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
        std::snprintf(line, sizeof line, "  %s %s to window %p, wParam 0x%llX, lParam 0x%llX",
                      m.kind == winsim::Windows::Message::Kind::Posted ? "posted" : "sent  ",
                      MessageName(m.message).c_str(), static_cast<void*>(m.window),
                      static_cast<unsigned long long>(m.wParam), static_cast<unsigned long long>(m.lParam));
        out += line;
        if (window)
            out += " (" + window->className + " \"" + window->title + "\"" +
                   (window->processId ? " of process " + std::to_string(window->processId) : std::string()) + ")";
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

std::string ShortenLongValues(const std::string& regText) {
    constexpr size_t kShownLines = 4;
    std::vector<std::string> lines;
    for (size_t start = 0; start < regText.size();) {
        size_t end = regText.find('\n', start);
        if (end == std::string::npos) end = regText.size();
        lines.push_back(regText.substr(start, end - start));
        start = end + 1;
    }
    std::string out;
    for (size_t i = 0; i < lines.size(); ++i) {
        // A value continued over the lines after it: each but the last ends with a backslash.
        size_t last = i;
        while (last + 1 < lines.size() && !lines[last].empty() && lines[last].back() == '\\') ++last;
        if (last - i + 1 > kShownLines) {
            out += lines[i].substr(0, lines[i].size() - 1) + "...  (" + std::to_string(last - i) +
                   " more lines not shown)\n";
            i = last;
            continue;
        }
        out += lines[i] + "\n";
    }
    return out;
}

CChangeWatch::CChangeWatch(winsim::Machine& m) : machine_(m) {
    registry_ = std::make_unique<winsim::Registry>(m.Version(), winsim::Registry::Contents::Empty);
    std::string ignored;
    registry_->LoadRegText(m.Reg().SaveRegText(), &ignored);
    m.Services().ClearEvents();
    files_ = std::make_unique<CFileSnapshot>(m);
    devices_ = std::make_unique<CDeviceSnapshot>(m);
    security_ = std::make_unique<CKeySecuritySnapshot>(m);
    m.Security().ClearKeySecurityWrites();
    boxes_ = m.Dialogs().MessageBoxes().size();
    startMs_ = m.NowMs();
    // Programs that ended before the call are not the call's doing.
    m.Processes().Running();
    processEvents_ = m.Processes().Events().size();
    messages_ = m.Windows().Messages().size();
    cursors_ = m.Windows().CursorChanges().size();
    pending_ = winsim::PendingFileOperations(m);
}

CChangeWatch::~CChangeWatch() = default;

void CChangeWatch::PrintChanges(bool scripted) {
    auto& m = machine_;
    // Programs whose time came during the call have ended, and removed what they remove, before the
    // changes are taken.
    const std::string processes = ProcessesSince(m, processEvents_);
    if (m.NowMs() != startMs_)
        std::printf("simulated time spent: %.1f s\n", static_cast<double>(m.NowMs() - startMs_) / 1000.0);

    const std::string regDiff = ShortenLongValues(winsim::Registry::DiffRegText(*registry_, m.Reg()));
    std::printf("\nRegistry changes:\n%s", regDiff.empty() ? "  (none)\n" : regDiff.c_str());
    // Key security in SDDL, before -> after: listed only when the call changed some.
    const std::string security = CKeySecuritySnapshot(m).ChangesSince(*security_, m.Security().KeySecurityWrites());
    if (!security.empty()) std::printf("\nKey security changes:\n%s", security.c_str());
    const auto events = m.Services().Events();
    std::printf("\nService changes:\n");
    if (events.empty()) std::printf("  (none)\n");
    for (const auto& e : events) {
        std::printf("  %-20s %s", e.name.c_str(), winsim::ServiceEventName(e.kind));
        if (e.kind == winsim::ServiceEvent::Kind::StartFailed)
            std::printf(" (error %u)", static_cast<unsigned>(e.error));
        std::printf("\n");
    }
    const std::string files = CFileSnapshot(m).ChangesSince(*files_);
    std::printf("\nFile changes:\n%s", files.empty() ? "  (none)\n" : files.c_str());
    const std::string devices = CDeviceSnapshot(m).ChangesSince(*devices_);
    std::printf("\nDevice changes:\n%s", devices.empty() ? "  (none)\n" : devices.c_str());
    const std::string boxes = MessageBoxesSince(m, boxes_, scripted);
    std::printf("\nMessage boxes:\n%s", boxes.empty() ? "  (none)\n" : boxes.c_str());
    // Programs, DLLs, window messages and the cursor: listed only when the call touched them.
    if (!processes.empty()) std::printf("\nPrograms and DLLs:\n%s", processes.c_str());
    const std::string messages = MessagesSince(m, messages_);
    if (!messages.empty()) std::printf("\nWindow messages:\n%s", messages.c_str());
    const std::string cursors = CursorChangesSince(m, cursors_);
    if (!cursors.empty()) std::printf("\nCursor set:\n%s", cursors.c_str());
    // What the call left for the next restart to do to files.
    const std::string pending = ListPendingFileOperations(m, pending_);
    std::printf("\nPending file operations added:\n%s", pending.empty() ? "  (none)\n" : pending.c_str());
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
