// kvscenario.exe: runs a scenario file on the Windows machine it runs on, against the KVISINST.DLL
// beside it, and writes the same dump as `kvsim scenario` does on a simulated machine.
//
//   kvscenario FILE [--out DUMP]
//
// Exit status as kvsim's: 0 done, 2 wrong usage, 3 a scenario file that cannot be read or run (the
// line named), 5 the library cannot be loaded. It changes the machine: run it on a test machine.
#include "tools/scenario/runner.h"

#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>

int main(int argc, char** argv) {
    std::string file, out;
    bool usable = true;
    for (int i = 1; i < argc && usable; ++i) {
        if (!std::strcmp(argv[i], "--out") && i + 1 < argc) {
            out = argv[++i];
        } else if (!std::strncmp(argv[i], "--out=", 6)) {
            out = argv[i] + 6;
        } else if (file.empty() && argv[i][0] != '-') {
            file = argv[i];
        } else {
            usable = false;  // a second file or an unknown option
        }
    }
    if (!usable || file.empty()) {
        std::fputs(
            "usage: kvscenario FILE [--out DUMP]\n"
            "Runs a scenario on this machine with the KVISINST.DLL beside the program and prints or\n"
            "writes its dump (compare it with kvsim's: kvsim compare).\n",
            stderr);
        return 2;
    }
    scenario::Scenario scenario;
    std::string error, dump;
    if (!scenario::LoadScenario(file, &scenario, &error)) {
        std::fprintf(stderr, "kvscenario: %s\n", error.c_str());
        return 3;
    }
    if (!scenario::RunScenario(scenario, &dump, &error)) {
        std::fprintf(stderr, "kvscenario: %s: %s\n", file.c_str(), error.c_str());
        return error.find("cannot be loaded") != std::string::npos ? 5 : 3;
    }
    if (out.empty()) {
        std::fwrite(dump.data(), 1, dump.size(), stdout);
        return 0;
    }
    std::ofstream stream(out, std::ios::binary);
    if (!(stream << dump) || !stream.flush()) {
        std::fprintf(stderr, "kvscenario: cannot write %s\n", out.c_str());
        return 3;
    }
    return 0;
}
