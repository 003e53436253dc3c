// kvsim reboot, import and set: restarting a machine, merging .reg files into its registry, and
// putting one value there as a setup program would.
#include "tools/kvsim/changes.h"
#include "tools/kvsim/commands.h"
#include "tools/kvsim/machinefolder.h"
#include "tools/kvsim/regvalue.h"

#include <winsim/registry.h>
#include <winsim/restart.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace kvsim {

namespace {

std::string Title(winsim::OsVersion v) {
    return v == winsim::OsVersion::NT4 ? "Windows NT 4" : std::string("Windows ") + winsim::OsVersionName(v);
}

// A copy of the machine's registry, to say afterwards what changed.
std::unique_ptr<winsim::Registry> CopyOfRegistry(winsim::Machine& m) {
    auto copy = std::make_unique<winsim::Registry>(m.Version(), winsim::Registry::Contents::Empty);
    std::string ignored;
    copy->LoadRegText(m.Reg().SaveRegText(), &ignored);
    return copy;
}

const char kSetUsage[] = "set MACHINE KEY [NAME] TYPE DATA (REG_MULTI_SZ: DATA...)";

}  // namespace

int RunReboot(const std::vector<std::string>& args) {
    if (args.size() != 1) {
        std::fprintf(stderr, "kvsim reboot: give a machine folder\n");
        return kExitUsage;
    }
    CMachineFolder machine;
    std::string error;
    if (!machine.Open(args[0], &error)) {
        std::fprintf(stderr, "kvsim reboot: %s\n", error.c_str());
        return kExitBadInput;
    }
    auto& m = machine.Machine();
    const auto before = CopyOfRegistry(m);
    const CFileSnapshot filesBefore(m);

    const auto report = winsim::Restart(m);

    std::printf("Restart of %s\n\nWhat the restart did:\n", Title(m.Version()).c_str());
    for (const auto& line : report) std::printf("  %s\n", line.c_str());
    const std::string regDiff = ShortenLongValues(winsim::Registry::DiffRegText(*before, m.Reg()));
    std::printf("\nRegistry changes:\n%s", regDiff.empty() ? "  (none)\n" : regDiff.c_str());
    const std::string files = CFileSnapshot(m).ChangesSince(filesBefore);
    std::printf("\nFile changes:\n%s", files.empty() ? "  (none)\n" : files.c_str());
    if (!machine.Commit(&error)) {
        std::fprintf(stderr, "kvsim reboot: %s\n", error.c_str());
        return kExitBadInput;
    }
    return kExitOk;
}

int RunImport(const std::vector<std::string>& args) {
    if (args.size() < 2) {
        std::fprintf(stderr, "kvsim import: give a machine folder and one or more .reg files\n");
        return kExitUsage;
    }
    std::vector<std::string> texts;
    for (size_t i = 1; i < args.size(); ++i) {
        std::ifstream in(args[i], std::ios::binary);
        if (!in) {
            std::fprintf(stderr, "kvsim import: cannot read %s\n", args[i].c_str());
            return kExitBadInput;
        }
        std::ostringstream text;
        text << in.rdbuf();
        texts.push_back(text.str());
    }
    CMachineFolder machine;
    std::string error;
    if (!machine.Open(args[0], &error)) {
        std::fprintf(stderr, "kvsim import: %s\n", error.c_str());
        return kExitBadInput;
    }
    auto& m = machine.Machine();
    const auto before = CopyOfRegistry(m);
    // Loading merges, as regedit does, and stops at a damaged line keeping what the lines before it
    // did; nothing is kept then, since the folder is only replaced by a commit.
    for (size_t i = 0; i < texts.size(); ++i) {
        if (!m.Reg().LoadRegText(texts[i], &error)) {
            std::fprintf(stderr, "kvsim import: %s, %s\n", args[i + 1].c_str(), error.c_str());
            return kExitBadInput;
        }
    }
    const std::string regDiff = winsim::Registry::DiffRegText(*before, m.Reg());
    std::printf("Imported into %s:", Title(m.Version()).c_str());
    for (size_t i = 1; i < args.size(); ++i) std::printf(" %s", args[i].c_str());
    std::printf("\n\nRegistry changes:\n%s", regDiff.empty() ? "  (none)\n" : regDiff.c_str());
    if (!machine.Commit(&error)) {
        std::fprintf(stderr, "kvsim import: %s\n", error.c_str());
        return kExitBadInput;
    }
    return kExitOk;
}

}  // namespace kvsim

namespace kvsim {

int RunSet(const std::vector<std::string>& args) {
    // MACHINE KEY TYPE DATA... (the key's default value) or MACHINE KEY NAME TYPE DATA...
    DWORD type = 0;
    size_t typeAt = 0;
    if (args.size() >= 4 && IsTypeName(args[3], &type))
        typeAt = 3;
    else if (args.size() >= 3 && IsTypeName(args[2], &type))
        typeAt = 2;
    if (!typeAt || args.size() < typeAt + 2) {
        std::fprintf(stderr,
                     "kvsim set: give a machine folder, a key, a value name (none or @: the default value), a\n"
                     "  type (REG_SZ, REG_EXPAND_SZ, REG_DWORD, REG_BINARY, REG_MULTI_SZ) and the data (%s)\n",
                     kSetUsage);
        return kExitUsage;
    }
    const std::string& key = args[1];
    const std::string name = typeAt == 3 && args[2] != "@" ? args[2] : "";
    std::vector<BYTE> bytes;
    std::string why;
    if (!EncodeValue(type, std::vector<std::string>(args.begin() + typeAt + 1, args.end()), &bytes, &why)) {
        std::fprintf(stderr, "kvsim set: %s: %s\n", args[typeAt].c_str(), why.c_str());
        return kExitUsage;
    }
    CMachineFolder machine;
    std::string error;
    if (!machine.Open(args[0], &error)) {
        std::fprintf(stderr, "kvsim set: %s\n", error.c_str());
        return kExitBadInput;
    }
    auto& m = machine.Machine();
    const auto before = CopyOfRegistry(m);
    if (!m.Reg().SetValue(key, name, type, bytes)) {
        std::fprintf(stderr,
                     "kvsim set: '%s' is not a registry key of the machine: give HKEY_LOCAL_MACHINE\\..., "
                     "HKEY_CURRENT_USER\\..., HKEY_CLASSES_ROOT\\..., HKEY_USERS\\... (or HKLM, HKCU, HKCR, HKU)\n",
                     key.c_str());
        return kExitUsage;
    }
    const std::string regDiff = winsim::Registry::DiffRegText(*before, m.Reg());
    std::printf("Set on %s: %s, %s (%s)\n\nRegistry changes:\n%s", Title(m.Version()).c_str(), key.c_str(),
                name.empty() ? "its default value" : ("\"" + name + "\"").c_str(), args[typeAt].c_str(),
                regDiff.empty() ? "  (none: it held that already)\n" : regDiff.c_str());
    if (!machine.Commit(&error)) {
        std::fprintf(stderr, "kvsim set: %s\n", error.c_str());
        return kExitBadInput;
    }
    return kExitOk;
}

}  // namespace kvsim
