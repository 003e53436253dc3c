// kvsim reboot and import: restarting a machine, and merging a .reg file into its registry.
#include "tools/kvsim/changes.h"
#include "tools/kvsim/commands.h"
#include "tools/kvsim/machinefolder.h"

#include <winsim/registry.h>
#include <winsim/restart.h>

#include <cstdio>
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
    const std::string regDiff = winsim::Registry::DiffRegText(*before, m.Reg());
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
