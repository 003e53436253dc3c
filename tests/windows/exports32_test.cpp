// What only the 32-bit product can show about its exports: every exported name on the expected list
// resolves with GetProcAddress (on 32-bit, the Microsoft-decorated names of the product), and each
// plain __stdcall export removes its own arguments from the stack, as a setup program that declares
// it WINAPI expects. The 64-bit build runs the name check against its own list.
#include "windows/win_testing.h"

#include <fstream>

namespace {

// The expected export list, read through Wine's Z: drive (the whole Unix file system).
std::vector<std::string> ExpectedExports() {
    std::vector<std::string> names;
    std::ifstream file(std::string("Z:") + KVISINST_EXPECTED_EXPORTS);
    for (std::string name; std::getline(file, name);) {
        name.erase(name.find_last_not_of("\r ") + 1);
        if (!name.empty() && name[0] != '#') names.push_back(name);
    }
    return names;
}

TEST(Exports, EveryExpectedNameResolves) {
    CKvisinst library;
    const std::vector<std::string> names = ExpectedExports();
    ASSERT_FALSE(names.empty()) << "cannot read " << KVISINST_EXPECTED_EXPORTS;
    for (const std::string& name : names) library.Export<FARPROC>(name.c_str());
}

#if defined(__i386__)
// Calls a one-argument export without letting the compiler balance the stack, and returns how many
// bytes the export itself removed: 4 for __stdcall, 0 for __cdecl.
int BytesPopped(FARPROC function, const char* argument) {
    unsigned before = 0, after = 0;
    __asm__ volatile(
        "movl %[function], %%eax\n\t"
        "movl %%esp, %%esi\n\t"
        "pushl %[argument]\n\t"
        "call *%%eax\n\t"
        "movl %%esp, %%edi\n\t"
        "movl %%esi, %%esp\n\t"
        : "=&S"(before), "=&D"(after)
        : [function] "m"(function), [argument] "m"(argument)
        : "eax", "ecx", "edx", "memory", "cc");
    return 4 + static_cast<int>(after - before);
}

TEST(Exports, PlainStdcallExportsRemoveTheirArguments) {
    CKvisinst library;
    // A missing INF: each export fails at once without touching the machine.
    const char* missingInf = "C:\\kvisinst-no-such-folder\\none.inf";
    for (const char* name : {"SetupInstallDrivers", "SetupUnInstallDrivers", "SetupStopServices"}) {
        const FARPROC function = library.Export<FARPROC>(name);
        ASSERT_NE(function, nullptr);
        EXPECT_EQ(4, BytesPopped(function, missingInf)) << name;
    }
}
#endif

}  // namespace
