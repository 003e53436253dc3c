// kvsim rundll32: runs an entry point of KVISINST.DLL as rundll32.exe would after a restart: the
// machine's program is rundll32.exe for the call, the entry is looked up by rundll32's rules and called
// with rundll32's arguments, and what the call changed is printed as for kvsim call.
#include "tools/kvsim/changes.h"
#include "tools/kvsim/commands.h"
#include "tools/kvsim/exporttable.h"
#include "tools/kvsim/machinefolder.h"

#include <winsim/dialogs.h>
#include <winsim/loader.h>
#include <winsim/processes.h>
#include <winsim/text.h>

#include <cstdio>
#include <string>
#include <vector>

namespace kvsim {

namespace {

const char kUsage[] = "rundll32 MACHINE [--answer BUTTON] KVISINST.DLL,ENTRY [ARGUMENTS]";

// The name the host build exports for `name`: the 32-bit product's decorated names are the 64-bit
// build's own (kvisinst-x64.def), as a 32-bit rundll32 would find them in KVISINST.DLL.
const ExportInfo* ByExportedName(const std::string& name) {
    for (const auto& e : ExportTable())
        if (name == e.exported32 || name == e.exported) return &e;
    return nullptr;
}

}  // namespace

int RunRundll32(const std::vector<std::string>& givenArgs) {
    std::vector<std::string> args;
    int answer = 0;
    for (size_t i = 0; i < givenArgs.size(); ++i) {
        if (args.size() == 1 && givenArgs[i] == "--answer" && i + 1 < givenArgs.size()) {
            answer = ParseAnswer(givenArgs[++i]);
            if (!answer) {
                std::fprintf(stderr, "kvsim rundll32: '%s' is not a button (ok, cancel, yes, no, ...)\n",
                             givenArgs[i].c_str());
                return kExitUsage;
            }
            continue;
        }
        args.push_back(givenArgs[i]);
    }
    const size_t comma = args.size() >= 2 ? args[1].find(',') : std::string::npos;
    if (comma == std::string::npos || comma == 0 || comma + 1 == args[1].size()) {
        std::fprintf(stderr,
                     "kvsim rundll32: give a machine folder and DLL,ENTRY as rundll32 takes it, without blanks\n"
                     "  around the comma (%s)\n",
                     kUsage);
        return kExitUsage;
    }
    const std::string dll = args[1].substr(0, comma), entry = args[1].substr(comma + 1);
    // The DLL as LoadLibrary finds it: a name or a path, ".dll" taken for granted.
    const std::string file = dll.substr(dll.find_last_of("\\/") + 1);
    if (!winsim::EqualsNoCase(file, "KVISINST.DLL") && !winsim::EqualsNoCase(file, "KVISINST")) {
        std::fprintf(stderr, "kvsim rundll32: kvsim runs KVISINST.DLL's entry points only, not %s's\n", dll.c_str());
        return kExitUsage;
    }
    // The command line's tail after DLL,ENTRY: what rundll32 passes the entry.
    std::string tail;
    for (size_t i = 2; i < args.size(); ++i) tail += (i > 2 ? " " : "") + args[i];

    CMachineFolder machine;
    std::string error;
    if (!machine.Open(args[0], &error)) {
        std::fprintf(stderr, "kvsim rundll32: %s\n", error.c_str());
        return kExitBadInput;
    }
    auto& m = machine.Machine();
    const bool nt = winsim::IsNtFamily(m.Version());
    SimulateSupportLibraries(m);
    m.Dialogs().SetMessageBoxAnswer(answer);
    const std::string program = winsim::Rundll32Path(m), setupProgram = m.ProgramPath();
    m.SetProgramPath(program);

    winsim::MapLibrary("KVISINST.DLL", LibraryPath());
    HMODULE library = LoadLibraryA("KVISINST.DLL");
    if (!library) {
        std::fprintf(stderr, "kvsim rundll32: cannot load the library (%s)\n", LibraryPath().c_str());
        return kExitNoLibrary;
    }
    std::printf("%s %s%s%s on %s\n", program.c_str(), args[1].c_str(), tail.empty() ? "" : " ", tail.c_str(),
                VersionTitle(m.Version()));

    // On the NT family rundll32 asks for ENTRYW (a wide command line), then ENTRYA, then ENTRY (both
    // ANSI); on Windows 95/98 for ENTRY alone.
    std::vector<std::pair<std::string, bool>> tries;  // name, wide
    if (nt) tries = {{entry + "W", true}, {entry + "A", false}};
    tries.push_back({entry, false});
    std::printf("rundll32 looks up:");
    FARPROC function = nullptr;
    const ExportInfo* info = nullptr;
    bool wide = false;
    for (size_t i = 0; i < tries.size() && !function; ++i) {
        const ExportInfo* e = ByExportedName(tries[i].first);
        function = GetProcAddress(library, e ? e->exported : tries[i].first.c_str());
        std::printf("%s %s (%s)", i ? "," : "", tries[i].first.c_str(), function ? "found" : "not exported");
        info = e;
        wide = tries[i].second;
    }
    std::printf("\n");
    if (!function) {
        // The function's own name: what the library exports it as, said so (rundll32 would not find it).
        for (const auto& e : ExportTable())
            if (entry == e.name && e.rundll32Entry) {
                info = &e;
                function = GetProcAddress(library, e.exported);
                std::printf("kvsim: %s resolved to its exported name %s (rundll32 itself needs that name)\n", e.name,
                            e.exported32);
            }
    }
    if (!function) {
        std::fprintf(stderr, "kvsim rundll32: KVISINST.DLL has no entry %s (rundll32: \"Missing entry: %s\")\n",
                     entry.c_str(), entry.c_str());
        FreeLibrary(library);
        return kExitUnknownExport;
    }
    if (!info || !info->rundll32Entry) {
        std::fprintf(stderr,
                     "kvsim rundll32: %s is not a rundll32 entry point (it takes %s), and rundll32 would call\n"
                     "  it with a window, an instance, a command line and a show command: use kvsim call\n",
                     entry.c_str(), info && *info->argNames ? info->argNames : "no arguments");
        FreeLibrary(library);
        return kExitUsage;
    }
    std::printf("called as %s(NULL, KVISINST.DLL's module, %s command line \"%s\", SW_SHOWNORMAL)\n", info->name,
                wide ? "wide" : "ANSI", tail.c_str());

    CChangeWatch watch(m);
    std::u16string wideTail;
    for (char c : tail) wideTail += static_cast<char16_t>(static_cast<unsigned char>(c));
    CallRundll32Entry(function, library,
                      wide ? static_cast<const void*>(wideTail.c_str()) : static_cast<const void*>(tail.c_str()));
    const int rebootFlag = info->drains ? AskNeedReboot(library) : -1;
    FreeLibrary(library);
    m.SetProgramPath(setupProgram);

    std::printf("result: none (a rundll32 entry point returns nothing)\n");
    if (rebootFlag >= 0)
        std::printf("reboot flag: NeedReboot() says %d%s\n", rebootFlag,
                    rebootFlag == 1 ? " (a restart is needed)" : "");
    watch.PrintChanges(answer != 0);
    if (!machine.Commit(&error)) {
        std::fprintf(stderr, "kvsim rundll32: %s\n", error.c_str());
        return kExitBadInput;
    }
    return kExitOk;
}

}  // namespace kvsim
