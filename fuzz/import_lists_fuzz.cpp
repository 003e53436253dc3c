// libFuzzer target: arbitrary text read as one of the reviewed import lists (imports/NAME.dll.txt,
// or deny.txt when the first byte is odd). A list that reads is judged against an image importing the
// DLL and every function it names: nothing listed counts as unreviewed, a version loads the image
// exactly when no listed status says it cannot, and every denied name an import hits is reported.
#include "check.h"
#include "tools/kvsim/importlists.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

using fuzzing::Check;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const bool deny = data[0] & 1;
    // The lists are embedded as C strings: the text ends at its first NUL.
    const std::string text(reinterpret_cast<const char*>(data + 1), size - 1);
    const std::vector<kvsim::CImportListFile> files = {{deny ? "deny.txt" : "quillex.dll.txt", text.c_str()}};
    kvsim::CImportLists lists;
    std::string error;
    if (!kvsim::ParseImportLists(files, &lists, &error)) {
        Check(error.rfind(files[0].fileName, 0) == 0, "an error names no file");
        return 0;
    }
    Check(deny ? lists.dlls.empty() : lists.dlls.size() == 1 && lists.denied.empty(), "a list went astray");

    kvsim::CPeImports imports;
    imports.dlls.push_back({"QUILLEX.DLL", {}});
    for (const auto& [name, entry] : lists.dlls.count("quillex.dll") ? lists.dlls["quillex.dll"].functions
                                                                     : std::map<std::string, kvsim::CListedEntry>())
        imports.dlls.back().functions.push_back({name, 0, false});
    for (const auto& [name, reason] : lists.denied) {
        Check(!reason.empty(), "a denied name without its reason");
        const size_t bang = name.find('!');
        imports.dlls.push_back({name.substr(0, bang), {}});
        if (bang != std::string::npos) imports.dlls.back().functions.push_back({name.substr(bang + 1), 0, false});
    }
    const kvsim::CImportVerdict verdict = kvsim::JudgeImports(imports, lists);
    if (deny) {
        Check(verdict.denied.size() >= lists.denied.size(), "a denied import was not reported");
        return 0;
    }
    Check(verdict.unreviewed.empty(), "a listed import counts as unreviewed");
    const kvsim::CListedDll& dll = lists.dlls.begin()->second;
    for (int v = 0; v < kvsim::kImportVersionCount; ++v) {
        bool loads = dll.dll.status[v] != kvsim::EExport::kNo && dll.dll.status[v] != kvsim::EExport::kStub;
        for (const auto& [name, entry] : dll.functions) {
            Check(entry.status[v] != kvsim::EExport::kNeeds, "'needs' on a function");
            loads = loads && entry.status[v] != kvsim::EExport::kNo;
        }
        Check(verdict.versions[v].loads == loads, "a version's verdict does not follow the list");
    }
    return 0;
}
