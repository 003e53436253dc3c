// kvsim: runs the library on simulated Windows machines and shows what it did.
#include "tools/kvsim/commands.h"
#include "tools/kvsim/exporttable.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

void PrintUsage(FILE* out) {
    std::fputs(
        "usage: kvsim COMMAND [ARGUMENTS]\n"
        "\n"
        "Runs KVISINST.DLL on a simulated Windows 95, 98, NT 4 or 2000 machine.\n"
        "\n"
        "commands:\n",
        out);
    // The summary beside the usage, or under it when the usage is long; wrapped at its line breaks.
    for (const auto& command : kvsim::Commands()) {
        const std::string usage = command.usage, summary = command.summary;
        if (usage.size() > 40)
            std::fprintf(out, "  %s\n%43s", usage.c_str(), "");
        else
            std::fprintf(out, "  %-40s ", usage.c_str());
        for (size_t start = 0; start < summary.size();) {
            size_t end = summary.find('\n', start);
            if (end == std::string::npos) end = summary.size();
            std::fprintf(out, "%s%.*s\n", start ? "                                           " : "",
                         static_cast<int>(end - start), summary.c_str() + start);
            start = end + 1;
        }
    }
    std::fputs(
        "\n"
        "call arguments: an INF handle is given as the INF's path on the machine (kvsim opens it); strings\n"
        "as they are, the word null for a null pointer; integers in decimal or 0x hex; a service action as\n"
        "SVC_START, SVC_STOP, SVC_CREATE, SVC_DELETE or a number. EXPORT is the function's name or its\n"
        "exported (decorated) name. --answer BUTTON is the simulated user's choice in every message box\n"
        "the call shows (ok, cancel, abort, retry, ignore, yes, no, tryagain, continue); without it each box\n"
        "is answered with its default button. InstallFromINF's INF is a file name in SOURCE_DIR (null: the\n"
        "folder of the running program), not an open INF. After a drain of the install queues\n"
        "(InstallFromRegistry, InstallUninstall, VoidInstallUninstall) kvsim asks NeedReboot in the same load\n"
        "of the library and prints the reboot flag. Exports kvsim can call:\n",
        out);
    for (const auto& e : kvsim::ExportTable()) std::fprintf(out, "  %-22s %s\n", e.name, e.argNames);
    std::fputs(
        "\n"
        "set: KEY as HKEY_LOCAL_MACHINE\\... (or HKLM, HKCU, HKCR, HKU); no NAME, or @, is the key's default\n"
        "value; REG_SZ and REG_EXPAND_SZ text, REG_DWORD decimal or 0x hex, REG_BINARY hex bytes (01,ff or\n"
        "01ff), REG_MULTI_SZ one string an argument. For example, a queued installation:\n"
        "  kvsim set M 'HKLM\\Software\\Korvane\\Install\\Add' req1 REG_SZ 'quillex.inf,C:\\Setup,DefaultInstall'\n"
        "\n"
        "rundll32: the machine's program is rundll32.exe for the call (GetModuleFileName, a null source folder\n"
        "of InstallFromINF); ENTRY is looked up as rundll32 does, ENTRYW (a wide command line), ENTRYA, then\n"
        "ENTRY on the NT family, ENTRY alone on 95/98, and called as (NULL, the DLL's module, the command\n"
        "line after DLL,ENTRY, SW_SHOWNORMAL). KVISINST.DLL exports VoidInstallUninstall only as\n"
        "?VoidInstallUninstall@@YGXPAUHWND__@@PAUHINSTANCE__@@PAGH@Z; the bare name is accepted too, and kvsim\n"
        "says it resolved it (rundll32 itself would not find it).\n",
        out);
    std::fputs(
        "\n"
        "create options:\n"
        "  --language LANG      the user's default language (GetUserDefaultLangID), a language id (1031,\n"
        "                       0x0407) or en, de, fr, es, it, zh (zh-tw), zh-cn, ko, ja, nl, pt, sv, pl, ru\n"
        "  --account ACCOUNT    who the setup program runs as: system, administrator (default) or user\n"
        "  --service-pack N     the NT family's service pack (6, 6a, none; the version's own by default)\n"
        "  --role ROLE          workstation (default), member-server, primary-dc or backup-dc\n"
        "  --server-service S   running (default) or stopped: stopped, no server record can be read\n"
        "  --ie, --no-ie        Internet Explorer 4 or later, with SHLWAPI.DLL (default: as the version\n"
        "                       ships, on 98, 2000 and XP)\n"
        "\n"
        "A machine folder holds machine.txt (version, clock, language, account, role, server service,\n"
        "Internet Explorer, service pack), keysecurity.txt (KEY=SDDL for each key with security of its\n"
        "own), registry.reg, services.txt (each service with its script: OnStart=runs|fails [ERROR],\n"
        "OnStop=at-once|after N|never|refuses), devices.txt\n"
        "(each device node as [INSTANCE ID] with HardwareIDs=a,b Class= Description= Present=0|1\n"
        "RemovalFails=0|1 PluggedIn=0|1), programs.txt (each program with its script and each process\n"
        "running, its own comments say how) and drives/. services.txt, devices.txt and programs.txt are\n"
        "[section] and key=value lines; a line starting with ';' is a comment, and an error names the line.\n"
        "\n"
        "exit status: 0 done, 1 the library reported a failure, 2 wrong usage or arguments, 3 missing or\n"
        "damaged machine folder or file, 4 unknown export, 5 the library cannot be loaded\n",
        out);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2 || !std::strcmp(argv[1], "--help") || !std::strcmp(argv[1], "-h") || !std::strcmp(argv[1], "help")) {
        PrintUsage(argc < 2 ? stderr : stdout);
        return argc < 2 ? kvsim::kExitUsage : 0;
    }
    const std::vector<std::string> args(argv + 2, argv + argc);
    for (const auto& command : kvsim::Commands())
        if (argv[1] == std::string(command.name)) return command.run(args);
    std::fprintf(stderr, "kvsim: unknown command '%s' (kvsim --help lists the commands)\n", argv[1]);
    return kvsim::kExitUsage;
}
