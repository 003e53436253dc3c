#include "kvisinst/cleanup/cleanup.h"

#include "kvisinst/cleanup/dlllist.h"
#include "kvisinst/cleanup/editions.h"
#include "kvisinst/cleanup/productfiles.h"
#include "kvisinst/common/handle.h"
#include "kvisinst/common/product.h"
#include "kvisinst/exports.h"
#include "kvisinst/trace/trace.h"

#include <cstdio>
#include <cstring>

namespace {

constexpr char kKorvaneKey[] = "Software\\Korvane";
const char* const kUninstallRoots[] = {
    "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall",
    "Software\\Microsoft\\WinNT\\CurrentVersion\\Uninstall",
};
const char* const kSharedTrees[] = {"Admin", "Applications", "Operations", "QLMSubsystems"};

bool IsEdition(const char* edition, const char* name) { return edition && std::strcmp(edition, name) == 0; }

// Deletes the subtree `name` below HKEY_LOCAL_MACHINE `parent`; a missing parent or subtree, or one
// that cannot be deleted whole, is passed over.
void RemoveTree(const char* parent, const char* name) {
    CRegKey key;
    if (key.Open(HKEY_LOCAL_MACHINE, parent, KEY_ALL_ACCESS) == ERROR_SUCCESS) key.RecurseDeleteKey(name);
}

void RemoveUninstallEntry(const char* name) {
    for (const char* root : kUninstallRoots) RemoveTree(root, name);
}

// "ProductPath" of the product key, NUL-terminated; false when it cannot be read.
bool ReadProductPath(HKEY product, char (&path)[MAX_PATH + 1]) {
    DWORD size = MAX_PATH;
    if (RegQueryValueExA(product, kProductPathValue, nullptr, nullptr, reinterpret_cast<BYTE*>(path), &size) !=
        ERROR_SUCCESS)
        return false;
    path[size < MAX_PATH ? size : MAX_PATH] = '\0';
    return true;
}

// The directory of one writable place, or false when it cannot be found or does not fit.
bool PlaceDirectory(const CWritablePlace& place, char (&directory)[MAX_PATH + 1]) {
    if (place.base == CWritablePlace::ProductPath) {
        CRegKey product;
        if (product.Open(HKEY_LOCAL_MACHINE, kProductKey, KEY_READ) != ERROR_SUCCESS) return false;
        if (!ReadProductPath(product, directory)) return false;
    } else {
        const UINT length = place.base == CWritablePlace::SystemDirectory ? GetSystemDirectoryA(directory, MAX_PATH)
                                                                          : GetWindowsDirectoryA(directory, MAX_PATH);
        if (length == 0 || length >= MAX_PATH) return false;
    }
    const size_t length = std::strlen(directory);
    const size_t suffixLength = std::strlen(place.suffix);
    if (length + suffixLength >= MAX_PATH) return false;
    std::memcpy(directory + length, place.suffix, suffixLength + 1);
    return true;
}

// Shows the wait cursor for the life of the object.
class CWaitCursor {
public:
    CWaitCursor() : previous_(SetCursor(LoadCursorA(nullptr, IDC_WAIT))) {}
    ~CWaitCursor() { SetCursor(previous_); }
    CWaitCursor(const CWaitCursor&) = delete;
    CWaitCursor& operator=(const CWaitCursor&) = delete;

private:
    HCURSOR previous_;
};

}  // namespace

void MakeProductFilesWritable() {
    char current[MAX_PATH];
    const DWORD currentLength = GetCurrentDirectoryA(MAX_PATH, current);
    const bool restore = currentLength > 0 && currentLength < MAX_PATH;
    for (size_t i = 0; i < kWritablePlaceCount; ++i) {
        const CWritablePlace& place = kWritablePlaces[i];
        char directory[MAX_PATH + 1];
        if (!PlaceDirectory(place, directory) || !SetCurrentDirectoryA(directory)) continue;
        for (const char* name = place.names; *name; name += std::strlen(name) + 1) {
            const DWORD attributes = GetFileAttributesA(name);
            if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_READONLY)) continue;
            const DWORD cleared = attributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY);
            SetFileAttributesA(name, cleared ? cleared : FILE_ATTRIBUTE_NORMAL);
        }
    }
    if (restore) SetCurrentDirectoryA(current);
}

void RemoveSharedTrees() {
    CRegKey korvane;
    if (korvane.Open(HKEY_LOCAL_MACHINE, kKorvaneKey, KEY_ALL_ACCESS) != ERROR_SUCCESS) return;
    for (const char* tree : kSharedTrees) korvane.RecurseDeleteKey(tree);
}

void RemoveOrvelIntegratorEntries() {
    RemoveSharedTrees();
    RemoveUninstallEntry("Quillex Integrator Software-Orvel Edition V2.0.2");
}

void RemoveToolkitEntries() {
    RemoveSharedTrees();
    RemoveUninstallEntry("Korvane Toolkit");
}

void RemoveQuillexProKey() { RemoveTree(kKorvaneKey, "Quillex Pro"); }

int RunCleanUp(const char* edition) {
    try {
        TraceScope scope("CleanUp");
        {
            const CWaitCursor waitCursor;
            MakeProductFilesWritable();

            if (IsEdition(edition, "QUILLEXPRO103")) {
                TraceMessage(scope, nullptr, "Installation of QUILLEXPRO103");
                if (IsVer101() || IsOrvelIntegrator()) {
                    CDllList listA(kCleanUpListA, nullptr);
                    listA.ProcessSystemDLLs();
                    if (!IsOrvelIntegrator()) {
                        TraceMessage(
                            scope, nullptr,
                            "Installation of QUILLEXPRO103 on top of an earlier Quillex Pro or Tesmir edition");
                        CDllList listB(kCleanUpListB, nullptr);
                        listB.ProcessSystemDLLs();
                    }
                }
                RemoveSharedTrees();
            }
            if (IsEdition(edition, "ORVELINTEGRATOR203")) {
                TraceMessage(scope, nullptr, "Installation of Orvel Integrator");
                if (IsOrvelIntegrator()) {
                    TraceMessage(scope, nullptr, "Installation of Orvel Integrator on top of Orvel Integrator");
                    RemoveOrvelIntegratorEntries();
                }
            }
            if (IsEdition(edition, "ORVELSDK203")) RemoveToolkitEntries();

            if (IsVer102()) {
                {
                    CRegKey product;
                    char productPath[MAX_PATH + 1];
                    if (product.Open(HKEY_LOCAL_MACHINE, kProductKey, KEY_ALL_ACCESS) == ERROR_SUCCESS &&
                        ReadProductPath(product, productPath)) {
                        CDllList listC(kCleanUpListC, nullptr);
                        listC.ProcessDLLs(productPath);
                    }
                }
                RemoveQuillexProKey();
            }
        }
        TraceMessage(scope, nullptr, "Finished");
    } catch (...) {
        // Only the trace can raise here (out of memory while loading its settings); the setup program
        // is told nothing of it, as of every other step that fails.
    }
    return 1;
}

int WINAPI CleanUp(char* edition) { return RunCleanUp(edition); }
