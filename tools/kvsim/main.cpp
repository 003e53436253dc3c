// kvsim: runs the library on simulated Windows machines and shows what it did.
#include "tools/kvsim/commands.h"

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
    for (const auto& command : kvsim::Commands()) std::fprintf(out, "  %-40s %s\n", command.usage, command.summary);
    std::fputs("\nexit status: 0 done, 1 the library reported a failure, 2 wrong usage, 3 bad input file\n", out);
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
