// kvsim imports FILE: what the Windows loader of each simulated version would make of a DLL's
// imports, judged by the same reviewed lists that the build's import check uses.
#include "tools/kvsim/commands.h"
#include "tools/kvsim/importlists.h"
#include "tools/kvsim/peimports.h"

#include <cstdio>
#include <fstream>
#include <iterator>

namespace kvsim {

namespace {

void PrintList(const char* label, const std::vector<std::string>& items) {
    if (items.empty()) return;
    std::printf("    %s:", label);
    for (const std::string& item : items) std::printf(" %s", item.c_str());
    std::printf("\n");
}

}  // namespace

int RunImports(const std::vector<std::string>& args) {
    if (args.size() != 1) {
        std::fprintf(stderr, "usage: kvsim imports FILE.DLL\n");
        return kExitUsage;
    }
    std::ifstream in(args[0], std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "kvsim: cannot read %s\n", args[0].c_str());
        return kExitBadInput;
    }
    const std::vector<unsigned char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    CPeImports imports;
    std::string error;
    if (!ReadPeImports(bytes.data(), bytes.size(), &imports, &error)) {
        std::fprintf(stderr, "kvsim: %s: %s\n", args[0].c_str(), error.c_str());
        return kExitBadInput;
    }
    CImportLists lists;
    if (!ParseImportLists(EmbeddedImportLists(), &lists, &error)) {
        std::fprintf(stderr, "kvsim: the reviewed import lists are damaged: %s\n", error.c_str());
        return kExitBadInput;
    }

    std::size_t functionCount = 0, byOrdinal = 0;
    for (const CPeImportedDll& dll : imports.dlls)
        for (const CPeImport& function : dll.functions) {
            ++functionCount;
            if (function.byOrdinal) ++byOrdinal;
        }
    std::printf("%s: %s %s, subsystem %u.%02u, imports %zu functions (%zu by ordinal) from %zu DLLs\n",
                args[0].c_str(), imports.pe32Plus ? "PE32+ (64-bit)" : "PE32 (32-bit)", imports.isDll ? "DLL" : "program",
                imports.subsystemMajor, imports.subsystemMinor, functionCount, byOrdinal, imports.dlls.size());
    for (const CPeImportedDll& dll : imports.dlls) std::printf("  %-14s %zu\n", dll.name.c_str(), dll.functions.size());
    // Delay-loaded DLLs are loaded at their first call, not with the image: reported, not judged.
    for (const CPeImportedDll& dll : imports.delayLoaded)
        std::printf("  delay-loaded: %s (%zu functions, loaded at the first call)\n", dll.name.c_str(),
                    dll.functions.size());
    for (const std::string& name : imports.bound)
        std::printf("  bound to: %s (the loader checks the binding and resolves again if stale)\n", name.c_str());

    const CImportVerdict verdict = JudgeImports(imports, lists);
    bool ok = verdict.Passes();
    if (imports.pe32Plus) {
        std::printf("a 64-bit image: none of these versions loads it\n");
        ok = false;
    } else if (imports.subsystemMajor > 4 || (imports.subsystemMajor == 4 && imports.subsystemMinor > 0)) {
        std::printf("subsystem %u.%02u: Windows 95, 98 and NT 4 refuse images that ask for more than 4.00\n",
                    imports.subsystemMajor, imports.subsystemMinor);
        ok = false;
    }
    for (const std::string& item : verdict.unreviewed)
        std::printf("unreviewed import %s: not on the reviewed lists (imports/); check it and add it\n", item.c_str());
    for (const std::string& item : verdict.denied) std::printf("denied import %s\n", item.c_str());
    for (int v = 0; v < kImportVersionCount; ++v) {
        const CVersionVerdict& version = verdict.versions[v];
        if (!verdict.unreviewed.empty() && version.loads)
            std::printf("%-13s unknown: %zu unreviewed imports\n", kImportVersionNames[v], verdict.unreviewed.size());
        else if (!version.loads)
            std::printf("%-13s does not load\n", kImportVersionNames[v]);
        else if (!version.requirements.empty())
            std::printf("%-13s loads once the machine has what the README requires\n", kImportVersionNames[v]);
        else
            std::printf("%-13s loads\n", kImportVersionNames[v]);
        PrintList("missing", version.missing);
        PrintList("requires", version.requirements);
        PrintList("stubs (exported, fail when called)", version.stubs);
    }
    return ok ? kExitOk : kExitNoLibrary;
}

}  // namespace kvsim
