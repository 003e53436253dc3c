// The reviewed lists of what KVISINST.DLL may import (imports/*.txt, embedded when kvsim is built),
// and the loader's verdict on an image's imports for each simulated Windows version.
#pragma once

#include "tools/kvsim/peimports.h"

#include <map>
#include <string>
#include <vector>

namespace kvsim {

// The simulated versions, in the lists' column order.
constexpr int kImportVersionCount = 4;
extern const char* const kImportVersionNames[kImportVersionCount];  // "Windows 95", ...

enum class EExport { kYes, kStub, kNo, kNeeds };

struct CListedEntry {
    EExport status[kImportVersionCount];
    std::string note;
};

struct CListedDll {
    CListedEntry dll;                               // the ".dll" line
    std::map<std::string, CListedEntry> functions;  // by exact name
};

struct CImportLists {
    std::map<std::string, CListedDll> dlls;       // by lower-case DLL name
    std::map<std::string, std::string> denied;    // lower-case "dll" or "dll!Function" -> reason
};

// One list file as embedded: its file name (NAME.dll.txt or deny.txt) and its text.
struct CImportListFile {
    const char* fileName;
    const char* text;
};

// Reads list files; false with "FILE:LINE: reason" in *error for a malformed line.
bool ParseImportLists(const std::vector<CImportListFile>& files, CImportLists* lists, std::string* error);

// The lists kvsim was built with.
const std::vector<CImportListFile>& EmbeddedImportLists();

struct CVersionVerdict {
    bool loads = true;
    std::vector<std::string> missing;       // "X.dll" or "X.dll!Function": why it does not load
    std::vector<std::string> requirements;  // DLLs the machine must have first ("needs")
    std::vector<std::string> stubs;         // imported functions that are stubs on this version
};

struct CImportVerdict {
    CVersionVerdict versions[kImportVersionCount];
    std::vector<std::string> unreviewed;  // imports on no list: nobody has checked them
    std::vector<std::string> denied;      // imports the deny list forbids, with the reason
    bool Passes() const;
};

CImportVerdict JudgeImports(const CPeImports& imports, const CImportLists& lists);

}  // namespace kvsim
