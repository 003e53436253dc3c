#include "tools/kvsim/importlists.h"

#include <algorithm>
#include <cctype>
#include <sstream>

namespace kvsim {

const char* const kImportVersionNames[kImportVersionCount] = {"Windows 95", "Windows 98", "Windows NT 4",
                                                               "Windows 2000"};

namespace {

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

std::string Trim(const std::string& text) {
    const auto first = text.find_first_not_of(" \t\r");
    if (first == std::string::npos) return "";
    return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

bool ParseStatus(const std::string& word, EExport* status) {
    if (word == "yes") *status = EExport::kYes;
    else if (word == "stub") *status = EExport::kStub;
    else if (word == "no") *status = EExport::kNo;
    else if (word == "needs") *status = EExport::kNeeds;
    else return false;
    return true;
}

}  // namespace

bool ParseImportLists(const std::vector<CImportListFile>& files, CImportLists* lists, std::string* error) {
    *lists = CImportLists();
    for (const CImportListFile& file : files) {
        const std::string fileName = file.fileName;
        const bool deny = fileName == "deny.txt";
        const std::string suffix = ".txt";
        if (!deny && (fileName.size() <= suffix.size() || fileName.compare(fileName.size() - 4, 4, suffix) != 0)) {
            *error = fileName + ": not a NAME.dll.txt list";
            return false;
        }
        const std::string dllName = deny ? "" : Lower(fileName.substr(0, fileName.size() - suffix.size()));
        CListedDll* dll = deny ? nullptr : &lists->dlls[dllName];
        bool sawDllLine = false;
        std::istringstream in(file.text);
        std::string line;
        for (int number = 1; std::getline(in, line); ++number) {
            const std::string where = fileName + ":" + std::to_string(number) + ": ";
            std::string body = line, note;
            const auto bar = line.find('|');
            if (bar != std::string::npos) {
                body = line.substr(0, bar);
                note = Trim(line.substr(bar + 1));
            }
            body = Trim(body);
            if (body.empty() || body[0] == '#') continue;
            if (deny) {
                if (note.empty()) {
                    *error = where + "a denied import needs its reason after '|'";
                    return false;
                }
                lists->denied[Lower(body)] = note;
                continue;
            }
            std::istringstream words(body);
            std::string name, word;
            words >> name;
            CListedEntry entry{};
            entry.note = note;
            for (int v = 0; v < kImportVersionCount; ++v) {
                if (!(words >> word) || !ParseStatus(word, &entry.status[v])) {
                    *error = where + "expected four columns of yes, stub, no or needs after " + name;
                    return false;
                }
            }
            if (words >> word) {
                *error = where + "more than four columns (a note goes after '|')";
                return false;
            }
            const bool isDllLine = name == ".dll";
            for (const EExport status : entry.status) {
                if (status == EExport::kNeeds && !isDllLine) {
                    *error = where + "'needs' is for the .dll line only";
                    return false;
                }
                if (status == EExport::kStub && entry.note.empty()) {
                    *error = where + name + " is a stub somewhere: its note must say why that is harmless";
                    return false;
                }
            }
            if (isDllLine) {
                dll->dll = entry;
                sawDllLine = true;
            } else if (!dll->functions.emplace(name, entry).second) {
                *error = where + name + " is listed twice";
                return false;
            }
        }
        if (!deny && !sawDllLine) {
            *error = fileName + ": no .dll line";
            return false;
        }
    }
    return true;
}

bool CImportVerdict::Passes() const {
    if (!unreviewed.empty() || !denied.empty()) return false;
    for (const CVersionVerdict& version : versions)
        if (!version.loads) return false;
    return true;
}

CImportVerdict JudgeImports(const CPeImports& imports, const CImportLists& lists) {
    CImportVerdict verdict;
    for (const CPeImportedDll& imported : imports.dlls) {
        const std::string dllName = Lower(imported.name);
        const auto deniedDll = lists.denied.find(dllName);
        if (deniedDll != lists.denied.end()) verdict.denied.push_back(imported.name + ": " + deniedDll->second);
        for (const CPeImport& function : imported.functions) {
            if (function.byOrdinal) continue;
            const auto deniedFunction = lists.denied.find(dllName + "!" + Lower(function.name));
            if (deniedFunction != lists.denied.end())
                verdict.denied.push_back(imported.name + "!" + function.name + ": " + deniedFunction->second);
        }
        const auto listed = lists.dlls.find(dllName);
        if (listed == lists.dlls.end()) {
            verdict.unreviewed.push_back(imported.name + " (no list for this DLL)");
            continue;
        }
        for (int v = 0; v < kImportVersionCount; ++v) {
            CVersionVerdict& version = verdict.versions[v];
            const EExport dllStatus = listed->second.dll.status[v];
            if (dllStatus == EExport::kNo || dllStatus == EExport::kStub) {
                version.loads = false;
                version.missing.push_back(imported.name);
            } else if (dllStatus == EExport::kNeeds) {
                version.requirements.push_back(imported.name);
            }
        }
        for (const CPeImport& function : imported.functions) {
            // The lists name functions; an ordinal means a different thing in each version's DLL.
            if (function.byOrdinal) {
                verdict.unreviewed.push_back(imported.name + " ordinal " + std::to_string(function.ordinal) +
                                             " (imported by ordinal)");
                continue;
            }
            const auto entry = listed->second.functions.find(function.name);
            if (entry == listed->second.functions.end()) {
                verdict.unreviewed.push_back(imported.name + "!" + function.name);
                continue;
            }
            for (int v = 0; v < kImportVersionCount; ++v) {
                CVersionVerdict& version = verdict.versions[v];
                if (entry->second.status[v] == EExport::kNo) {
                    version.loads = false;
                    version.missing.push_back(imported.name + "!" + function.name);
                } else if (entry->second.status[v] == EExport::kStub) {
                    version.stubs.push_back(imported.name + "!" + function.name);
                }
            }
        }
    }
    return verdict;
}

}  // namespace kvsim
