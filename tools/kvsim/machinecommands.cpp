// kvsim create, put, show and call: the commands that work on a machine folder.
#include "tools/kvsim/changes.h"
#include "tools/kvsim/commands.h"
#include "tools/kvsim/exporttable.h"
#include "tools/kvsim/keysecurity.h"
#include "tools/kvsim/machinefolder.h"
#include "tools/kvsim/pending.h"

#include <winsim/devices.h>
#include <winsim/dialogs.h>
#include <winsim/files.h>
#include <winsim/loader.h>
#include <winsim/processes.h>
#include <winsim/registry.h>
#include <winsim/services.h>
#include <winsim/text.h>
#include <winsim/windows.h>

#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <optional>
#include <sstream>

namespace kvsim {

namespace fs = std::filesystem;

const char* VersionTitle(winsim::OsVersion v) {
    switch (v) {
    case winsim::OsVersion::Win95: return "Windows 95";
    case winsim::OsVersion::Win98: return "Windows 98";
    case winsim::OsVersion::NT4: return "Windows NT 4";
    case winsim::OsVersion::Win2000: return "Windows 2000";
    case winsim::OsVersion::WinXP: return "Windows XP";
    }
    return "Windows";
}

namespace {

std::string ServiceTypeText(DWORD type) {
    std::string text;
    switch (type & ~0x100u) {
    case 0x1: text = "kernel driver"; break;
    case 0x2: text = "file system driver"; break;
    case 0x10: text = "own process"; break;
    case 0x20: text = "shared process"; break;
    default: text = "type " + std::to_string(type);
    }
    return (type & 0x100) ? text + ", interactive" : text;
}

const char* StartTypeText(DWORD start) {
    static const char* const names[] = {"boot start", "system start", "auto start", "demand start", "disabled"};
    return start < 5 ? names[start] : "start type ?";
}

const char* StateText(DWORD state) {
    switch (state) {
    case SERVICE_RUNNING: return "running";
    case SERVICE_STOP_PENDING: return "stopping";
    default: return "stopped";
    }
}

void PrintServices(winsim::Machine& machine) {
    const auto list = machine.Services().List();
    if (list.empty()) {
        std::printf("  (none)\n");
        return;
    }
    for (const auto& s : list)
        std::printf("  %-20s %-8s %s, %s, %s%s\n", s.config.name.c_str(), StateText(s.state),
                    ServiceTypeText(s.config.type).c_str(), StartTypeText(s.config.startType),
                    s.config.imagePath.c_str(), s.markedForDelete ? " (marked for deletion)" : "");
}

// The user languages kvsim names (GetUserDefaultLangID's values); any other is given as a number.
const struct {
    const char* name;
    WORD id;
    const char* title;
} kLanguages[] = {
    {"en", 0x0409, "English"},    {"en-gb", 0x0809, "English"}, {"de", 0x0407, "German"},
    {"fr", 0x040C, "French"},     {"es", 0x040A, "Spanish"},    {"it", 0x0410, "Italian"},
    {"zh", 0x0404, "Chinese"},    {"zh-tw", 0x0404, "Chinese"}, {"zh-cn", 0x0804, "Chinese"},
    {"ko", 0x0412, "Korean"},     {"ja", 0x0411, "Japanese"},   {"nl", 0x0413, "Dutch"},
    {"pt", 0x0416, "Portuguese"}, {"sv", 0x041D, "Swedish"},    {"pl", 0x0415, "Polish"},
    {"ru", 0x0419, "Russian"},
};

bool ParseLanguage(const std::string& text, WORD* language) {
    for (const auto& l : kLanguages)
        if (winsim::EqualsNoCase(text, l.name)) {
            *language = l.id;
            return true;
        }
    if (text.empty() || !std::isdigit(static_cast<unsigned char>(text[0]))) return false;
    char* end = nullptr;
    const unsigned long id = std::strtoul(text.c_str(), &end, 0);
    // A language id: a primary language in its low 10 bits, a sublanguage above.
    if (*end || id > 0xFFFF || (id & 0x3FF) == 0) return false;
    *language = static_cast<WORD>(id);
    return true;
}

std::string LanguageNames() {
    std::string names;
    for (const auto& l : kLanguages) names += (names.empty() ? "" : ", ") + std::string(l.name);
    return names;
}

// "German (0x0407)": named by its primary language when kvsim knows it.
std::string LanguageTitle(WORD language) {
    char id[16];
    std::snprintf(id, sizeof id, "0x%04X", static_cast<unsigned>(language));
    for (const auto& l : kLanguages)
        if ((l.id & 0x3FF) == (language & 0x3FF)) return std::string(l.title) + " (" + id + ")";
    return id;
}

// The buttons a message box answers with (MessageBoxA's IDOK ... IDCONTINUE).
const char* const kAnswers[] = {"",    "ok", "cancel", "abort", "retry",    "ignore",
                                "yes", "no", "",       "",      "tryagain", "continue"};

std::string AnswerNames() {
    std::string names;
    for (const char* name : kAnswers)
        if (*name) names += (names.empty() ? "" : ", ") + std::string(name);
    return names;
}

const char kCreateUsage[] =
    "create MACHINE VERSION [--language LANG] [--account system|administrator|user] [--service-pack N] "
    "[--role workstation|member-server|primary-dc|backup-dc] [--server-service running|stopped] [--ie|--no-ie]";

// The role's name in kvsim's options (primary-dc, ...) or machine.txt's (primary-controller, ...).
std::optional<winsim::Machine::ServerRole> ParseRole(const std::string& name) {
    if (name == "primary-dc") return winsim::Machine::ServerRole::PrimaryController;
    if (name == "backup-dc") return winsim::Machine::ServerRole::BackupController;
    return winsim::ParseServerRole(name);
}

const char* RoleTitle(winsim::Machine::ServerRole role) {
    static const char* const titles[] = {"workstation", "member server", "primary domain controller",
                                         "backup domain controller"};
    return titles[static_cast<int>(role)];
}

const char* AccountTitle(winsim::Machine::Account account) {
    static const char* const titles[] = {"the local system account", "an administrator",
                                         "a user without administrator rights"};
    return titles[static_cast<int>(account)];
}

}  // namespace

int ParseAnswer(const std::string& text) {
    for (int id = 1; id < static_cast<int>(std::size(kAnswers)); ++id)
        if (*kAnswers[id] && winsim::EqualsNoCase(text, kAnswers[id])) return id;
    return 0;
}

int RunCreate(const std::vector<std::string>& args) {
    std::vector<std::string> positional;
    WORD language = 0x409;
    std::optional<winsim::Machine::Account> account;
    std::optional<winsim::Machine::ServerRole> role;
    std::optional<bool> serverRunning, ie;
    std::optional<std::string> servicePack;
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--ie" || args[i] == "--no-ie") {
            ie = args[i] == "--ie";
            continue;
        }
        if (args[i].rfind("--", 0) != 0) {
            positional.push_back(args[i]);
            continue;
        }
        // --NAME VALUE or --NAME=VALUE
        const size_t equals = args[i].find('=');
        const std::string name = args[i].substr(0, equals);
        std::string value;
        if (equals != std::string::npos) {
            value = args[i].substr(equals + 1);
        } else if (i + 1 < args.size()) {
            value = args[++i];
        } else {
            std::fprintf(stderr, "kvsim create: %s needs a value\n", name.c_str());
            return kExitUsage;
        }
        std::string expected;
        if (name == "--language") {
            if (!ParseLanguage(value, &language))
                expected = "a language id (1031, 0x0407) or one of\n  " + LanguageNames();
        } else if (name == "--account") {
            winsim::Machine::Account a = winsim::Machine::Account::Administrator;
            if (ParseAccount(value, &a)) account = a;
            else expected = "system, administrator or user";
        } else if (name == "--role") {
            role = ParseRole(value);
            if (!role) expected = "workstation, member-server, primary-dc or backup-dc";
        } else if (name == "--server-service") {
            serverRunning = value == "running";
            if (value != "running" && value != "stopped") expected = "running or stopped";
        } else if (name == "--service-pack") {
            servicePack = value;
        } else {
            std::fprintf(stderr, "kvsim create: unknown option '%s' (%s)\n", args[i].c_str(), kCreateUsage);
            return kExitUsage;
        }
        if (!expected.empty()) {
            std::fprintf(stderr, "kvsim create: '%s' is not a value of %s: give %s\n", value.c_str(), name.c_str(),
                         expected.c_str());
            return kExitUsage;
        }
    }
    if (positional.size() != 2) {
        std::fprintf(stderr, "kvsim create: give a machine folder and a version (%s)\n", kCreateUsage);
        return kExitUsage;
    }
    const auto version = VersionArgument("create", positional[1]);
    if (!version) return kExitUsage;
    if (servicePack && (!ValidServicePackText(*servicePack) || !winsim::IsNtFamily(*version))) {
        std::fprintf(stderr, "kvsim create: '%s' is not a service pack of %s (%s)\n", servicePack->c_str(),
                     VersionTitle(*version),
                     winsim::IsNtFamily(*version) ? "give 6, 6a or none" : "Windows 95 and 98 have none");
        return kExitUsage;
    }
    std::string error;
    const bool made = CMachineFolder::Create(
        positional[0], *version,
        [&](winsim::Machine& m) {
            m.SetDefaultLanguage(language);
            if (account) m.SetCallerAccount(*account);
            if (role) m.SetServerRole(*role);
            if (serverRunning) m.SetServerServiceRunning(*serverRunning);
            if (ie) m.SetInternetExplorerInstalled(*ie);
            if (servicePack) SetServicePackText(m, *servicePack);
        },
        &error);
    if (!made) {
        std::fprintf(stderr, "kvsim create: %s\n", error.c_str());
        return kExitBadInput;
    }
    std::printf("Created %s: a simulated %s machine, user language %s.\n", positional[0].c_str(),
                VersionTitle(*version), LanguageTitle(language).c_str());
    return kExitOk;
}

int RunPut(const std::vector<std::string>& args) {
    // MACHINE FILE... [TARGET]: TARGET a Windows path ("C:\..."); one ending in '\' is a folder.
    auto isWindowsPath = [](const std::string& text) {
        return text.size() >= 3 && std::isalpha(static_cast<unsigned char>(text[0])) && text[1] == ':' &&
               text[2] == '\\';
    };
    const bool targetGiven = args.size() >= 3 && isWindowsPath(args.back());
    const std::string folder = targetGiven ? (args.back().back() == '\\' ? args.back() : "") : "C:\\Setup\\";
    const size_t files = args.size() - (targetGiven ? 1 : 0);
    if (args.size() < 2 || (files > 2 && folder.empty())) {
        std::fprintf(stderr,
                     "kvsim put: give a machine folder, a file, and where it goes (default C:\\Setup\\NAME); or\n"
                     "  several files and the folder they go to, ending in '\\' (default C:\\Setup\\)\n");
        return kExitUsage;
    }
    std::vector<std::pair<std::string, std::string>> copies;  // host file, its contents
    for (size_t i = 1; i < files; ++i) {
        std::ifstream in(args[i], std::ios::binary);
        if (!in) {
            std::fprintf(stderr, "kvsim put: cannot read %s\n", args[i].c_str());
            return kExitBadInput;
        }
        std::ostringstream contents;
        contents << in.rdbuf();
        copies.emplace_back(args[i], contents.str());
    }
    CMachineFolder machine;
    std::string error;
    if (!machine.Open(args[0], &error)) {
        std::fprintf(stderr, "kvsim put: %s\n", error.c_str());
        return kExitBadInput;
    }
    for (const auto& [file, contents] : copies) {
        const std::string target = folder.empty() ? args.back() : folder + fs::path(file).filename().string();
        if (!winsim::WriteWholeFile(target, contents)) {
            std::fprintf(stderr, "kvsim put: cannot write %s on the machine\n", target.c_str());
            return kExitBadInput;
        }
        std::printf("Copied %s to %s.\n", file.c_str(), target.c_str());
    }
    if (!machine.Commit(&error)) {
        std::fprintf(stderr, "kvsim put: %s\n", error.c_str());
        return kExitBadInput;
    }
    return kExitOk;
}

int RunShow(const std::vector<std::string>& args) {
    if (args.size() != 1) {
        std::fprintf(stderr, "kvsim show: give a machine folder\n");
        return kExitUsage;
    }
    CMachineFolder machine;
    std::string error;
    if (!machine.Open(args[0], &error)) {
        std::fprintf(stderr, "kvsim show: %s\n", error.c_str());
        return kExitBadInput;
    }
    auto& m = machine.Machine();
    const std::string csd = m.Record().csd;
    std::printf("%s: %s%s%s, user language %s, simulated clock at %.1f s\n", args[0].c_str(),
                VersionTitle(m.Version()), winsim::IsNtFamily(m.Version()) && !csd.empty() ? " " : "",
                winsim::IsNtFamily(m.Version()) ? csd.c_str() : "", LanguageTitle(m.DefaultLanguage()).c_str(),
                static_cast<double>(m.NowMs()) / 1000.0);
    std::printf("Setup runs as %s; Internet Explorer (SHLWAPI.DLL) %s\n", AccountTitle(m.CallerAccount()),
                m.InternetExplorerInstalled() ? "installed" : "not installed");
    if (winsim::IsNtFamily(m.Version()))
        std::printf("Network role: %s, server service %s\n", RoleTitle(m.Role()),
                    m.ServerServiceRunning() ? "running" : "stopped");
    std::printf("Services:\n");
    PrintServices(m);
    if (winsim::IsNtFamily(m.Version())) {
        const std::string security = ListKeySecurity(m);
        std::printf("Keys with security of their own:\n%s", security.empty() ? "  (none)\n" : security.c_str());
    }
    const std::string devices = ListDevices(m);
    std::printf("Devices:\n%s", devices.empty() ? "  (none)\n" : devices.c_str());
    const std::string shortcuts = ListShortcuts(m);
    std::printf("Shortcuts:\n%s", shortcuts.empty() ? "  (none)\n" : shortcuts.c_str());
    const std::string running = ListRunningProcesses(m);
    std::printf("Running programs:\n%s", running.empty() ? "  (none)\n" : running.c_str());
    // What the next restart will do to files.
    const std::string pending = ListPendingFileOperations(m);
    std::printf("Pending file operations:\n%s", pending.empty() ? "  (none)\n" : pending.c_str());
    return kExitOk;
}

int RunCall(const std::vector<std::string>& givenArgs) {
    // Options come between the machine folder and the export: what follows the export is its own.
    std::vector<std::string> args;
    int answer = 0;
    for (size_t i = 0; i < givenArgs.size(); ++i) {
        const bool beforeExport = args.size() == 1;  // after the machine folder, before the export
        if (!beforeExport || givenArgs[i].rfind("--", 0) != 0) {
            args.push_back(givenArgs[i]);
            continue;
        }
        std::string value;
        if (givenArgs[i] == "--answer") {
            value = i + 1 < givenArgs.size() ? givenArgs[++i] : "";
        } else if (givenArgs[i].rfind("--answer=", 0) == 0) {
            value = givenArgs[i].substr(9);
        } else {
            std::fprintf(stderr, "kvsim call: unknown option '%s' (call MACHINE [--answer BUTTON] EXPORT ...)\n",
                         givenArgs[i].c_str());
            return kExitUsage;
        }
        answer = ParseAnswer(value);
        if (!answer) {
            std::fprintf(stderr, "kvsim call: '%s' is not a button: give %s\n", value.c_str(), AnswerNames().c_str());
            return kExitUsage;
        }
    }
    if (args.size() < 2) {
        std::fprintf(stderr, "kvsim call: give a machine folder, an export and its arguments\n");
        return kExitUsage;
    }
    const ExportInfo* info = FindExport(args[1]);
    if (!info) {
        std::fprintf(stderr, "kvsim call: KVISINST.DLL has no export '%s'; kvsim knows:\n", args[1].c_str());
        for (const auto& e : ExportTable()) std::fprintf(stderr, "  %s %s\n", e.name, e.argNames);
        return kExitUnknownExport;
    }
    const std::vector<std::string> given(args.begin() + 2, args.end());
    if (given.size() != info->args.size()) {
        std::fprintf(stderr, "kvsim call: %s takes %zu argument(s): %s\n", info->name, info->args.size(),
                     info->argNames);
        return kExitUsage;
    }
    std::vector<ArgValue> values(given.size());
    for (size_t i = 0; i < given.size(); ++i) {
        std::string why;
        if (!ParseArg(info->args[i], given[i], &values[i], &why)) {
            std::fprintf(stderr, "kvsim call: %s, argument %zu: %s\n", info->name, i + 1, why.c_str());
            return kExitUsage;
        }
    }

    CMachineFolder machine;
    std::string error;
    if (!machine.Open(args[0], &error)) {
        std::fprintf(stderr, "kvsim call: %s\n", error.c_str());
        return kExitBadInput;
    }
    auto& m = machine.Machine();
    SimulateSupportLibraries(m);
    // The simulated user's choice in every message box of the call (none: the default button).
    m.Dialogs().SetMessageBoxAnswer(answer);

    // Open the INFs the call needs, as the setup program would before calling.
    std::vector<HINF> infs;
    auto closeInfs = [&] {
        for (HINF inf : infs) SetupCloseInfFile(inf);
    };
    for (auto& v : values) {
        if (v.kind != ArgKind::Inf) continue;
        UINT line = 0;
        v.inf = SetupOpenInfFileA(v.text.c_str(), nullptr, INF_STYLE_WIN4, &line);
        if (v.inf == INVALID_HANDLE_VALUE) {
            std::fprintf(stderr, "kvsim call: cannot open the INF %s on the machine (error 0x%08X, line %u)\n",
                         v.text.c_str(), static_cast<unsigned>(GetLastError()), line);
            closeInfs();
            return kExitBadInput;
        }
        infs.push_back(v.inf);
    }

    winsim::MapLibrary("KVISINST.DLL", LibraryPath());
    HMODULE library = LoadLibraryA("KVISINST.DLL");
    FARPROC function = library ? GetProcAddress(library, info->exported) : nullptr;
    if (!function) {
        std::fprintf(stderr, "kvsim call: %s (%s)\n",
                     library ? "the library does not export this function" : "cannot load the library",
                     LibraryPath().c_str());
        closeInfs();
        if (library) FreeLibrary(library);
        return kExitNoLibrary;
    }

    CChangeWatch watch(m);

    const long long result = info->invoke(function, values);
    // The reboot flag lives in this load of the library: asked before it is freed.
    const int rebootFlag = info->drains ? AskNeedReboot(library) : -1;

    closeInfs();
    FreeLibrary(library);

    std::string call = std::string(info->name) + "(";
    for (size_t i = 0; i < given.size(); ++i) call += (i ? ", " : "") + given[i];
    call += ")";
    std::printf("%s on %s\n", call.c_str(), VersionTitle(m.Version()));
    bool failed = false;
    if (info->result == ResultKind::HResult) {
        const LONG hr = static_cast<LONG>(result);
        std::printf("result: 0x%08X (%s)\n", static_cast<unsigned>(hr), ResultMeaning(hr).c_str());
        failed = hr < 0;
    } else if (info->result == ResultKind::Int) {
        std::printf("result: %lld (0x%08X)\n", result, static_cast<unsigned>(result));
    } else if (info->result == ResultKind::Bool) {
        std::printf("result: %lld (%s)\n", result, result ? "success" : "failure");
        failed = result == 0;
    } else {
        std::printf("result: none (the function returns nothing)\n");
    }
    if (rebootFlag >= 0)
        std::printf("reboot flag: NeedReboot() says %d%s\n", rebootFlag,
                    rebootFlag == 1 ? " (a restart is needed)" : "");
    watch.PrintChanges(answer != 0);

    if (!machine.Commit(&error)) {
        std::fprintf(stderr, "kvsim call: %s\n", error.c_str());
        return kExitBadInput;
    }
    return failed ? kExitFailed : kExitOk;
}

}  // namespace kvsim
