#include "tools/kvsim/commands.h"

#include <cstdio>

namespace kvsim {

std::optional<winsim::OsVersion> VersionArgument(const char* command, const std::string& word) {
    const auto version = winsim::ParseOsVersion(word);
    if (!version)
        std::fprintf(stderr, "kvsim %s: '%s' is not a version kvsim knows (95, 98, NT4, 2000, XP)\n", command,
                     word.c_str());
    return version;
}

const std::vector<Command>& Commands() {
    static const std::vector<Command> commands = {
        {"create", "create MACHINE VERSION [OPTION...]",
         "make a machine folder: Windows 95, 98, NT4 or 2000,\nits user, network role and service pack (below)",
         RunCreate},
        {"put", "put MACHINE FILE... [WINDOWS_PATH]",
         "copy files onto the machine (default C:\\Setup\\NAME;\na path ending in \\ is a folder for them all)",
         RunPut},
        {"call", "call MACHINE [--answer BUTTON] EXPORT [ARG...]",
         "call a library export and show what it changed;\nBUTTON: the user's answer to its message boxes", RunCall},
        {"rundll32", "rundll32 MACHINE [--answer BUTTON] KVISINST.DLL,ENTRY [ARG...]",
         "run a library entry as rundll32.exe would after a\nrestart (below), and show what it changed", RunRundll32},
        {"start", "start MACHINE PROGRAM [ARG...]",
         "start a program described in programs.txt, as its\nuser would; it keeps running on the machine", RunStart},
        {"show", "show MACHINE",
         "the machine: version, language, account, role, clock,\n"
         "services, keys with security of their own,\n"
         "devices, shortcuts, programs running, pending file\n"
         "operations",
         RunShow},
        {"reboot", "reboot MACHINE",
         "restart the machine: pending file renames and\ndeletions, services, and show what it did", RunReboot},
        {"security", "security MACHINE KEY [SDDL|default]",
         "a registry key's security in SDDL; with SDDL, set it\n(NT family)", RunSecurity},
        {"version", "version MACHINE PATH", "a file's version resource as the machine reads it", RunVersion},
        {"import", "import MACHINE FILE.reg...", "merge .reg files into the machine's registry and\nshow the changes",
         RunImport},
        {"set", "set MACHINE KEY [NAME] TYPE DATA...",
         "put one registry value, as a setup program queues a\nrequest (TYPE: REG_SZ, REG_EXPAND_SZ, REG_DWORD,\n"
         "REG_BINARY as hex bytes, REG_MULTI_SZ one string\nan argument; no NAME or @: the default value)",
         RunSet},
        {"device", "device MACHINE ID HWID[,HWID] [STATE] [CLASS]",
         "put a device node on the machine (STATE: present,\nabsent or plugged)", RunDevice},
        {"scenario", "scenario FILE --version VERSION [--out DUMP]",
         "run a scenario file on a fresh simulated machine and\nprint (or write) the dump of what it captures",
         RunScenarioCommand},
        {"compare", "compare DUMP DUMP [--deviations FILE]",
         "compare two scenario dumps (kvsim's, Windows' or\nWine's); exit 1 on a difference not listed in FILE",
         RunCompare},
        {"sections", "sections INF SECTION...", "which platform form of each section every Windows\nversion uses",
         RunSections},
        {"imports", "imports FILE.DLL", "whether a 32-bit DLL's imports load on Windows 95,\n98, NT 4 and 2000",
         RunImports},
    };
    return commands;
}

}  // namespace kvsim
