// kvsim sections: the INF section each Windows version would use for each base name.
#include "kvisinst/inf/platform.h"
#include "tools/kvsim/commands.h"

#include <winsim/files.h>
#include <winsim/machine.h>

#include <cstdio>
#include <fstream>
#include <sstream>

namespace kvsim {

int RunSections(const std::vector<std::string>& args) {
    if (args.size() < 2) {
        std::fprintf(stderr, "kvsim sections: give an INF file and at least one section name\n");
        return kExitUsage;
    }
    std::ifstream in(args[0], std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "kvsim sections: cannot read %s\n", args[0].c_str());
        return kExitBadInput;
    }
    std::ostringstream text;
    text << in.rdbuf();

    const winsim::OsVersion versions[] = {winsim::OsVersion::Win95, winsim::OsVersion::Win98,
                                          winsim::OsVersion::NT4, winsim::OsVersion::Win2000};
    const char* const titles[] = {"Windows 95", "Windows 98", "Windows NT 4", "Windows 2000"};
    std::vector<std::vector<std::string>> chosen(args.size() - 1);
    for (auto version : versions) {
        winsim::ScopedMachine machine(version);
        winsim::WriteWholeFile("C:\\Setup\\product.inf", text.str());
        UINT errorLine = 0;
        HINF inf = SetupOpenInfFileA("C:\\Setup\\product.inf", nullptr, INF_STYLE_WIN4, &errorLine);
        if (inf == INVALID_HANDLE_VALUE) {
            std::fprintf(stderr, "kvsim sections: %s is not a usable INF (error 0x%08X, line %u)\n", args[0].c_str(),
                         static_cast<unsigned>(GetLastError()), errorLine);
            return kExitBadInput;
        }
        for (size_t i = 1; i < args.size(); ++i) {
            char section[kSectionNameSize];
            GetPlatformSection(inf, args[i].c_str(), section);
            const LONG lines = SetupGetLineCountA(inf, section);
            chosen[i - 1].push_back(std::string(section) + (lines < 0 ? "  (no such section)" : ""));
        }
        SetupCloseInfFile(inf);
    }

    std::printf("Sections of %s as each Windows version resolves them:\n", args[0].c_str());
    for (size_t i = 1; i < args.size(); ++i) {
        std::printf("\n  [%s]\n", args[i].c_str());
        for (size_t v = 0; v < std::size(versions); ++v)
            std::printf("    %-14s -> [%s]\n", titles[v], chosen[i - 1][v].c_str());
    }
    return kExitOk;
}

}  // namespace kvsim
