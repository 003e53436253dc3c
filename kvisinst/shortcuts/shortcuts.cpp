// Start-menu shortcuts: folder-list sections name folder sections, and each folder section lists the
// shortcuts of one folder, "name=target[,arguments]".
#include "kvisinst/shortcuts/shortcuts.h"

#include "kvisinst/common/error.h"
#include "kvisinst/common/handle.h"
#include "kvisinst/common/strconv.h"
#include "kvisinst/common/text.h"
#include "kvisinst/exports.h"
#include "kvisinst/inf/platform.h"

#include <cstring>

namespace {

constexpr char kAddShortcuts[] = "AddShortcuts";
constexpr char kRemoveShortcuts[] = "RemoveShortcuts";
constexpr char kCommonPrefix[] = "Common ";
constexpr char kDefaultTemplateStart[] = "<Common Programs>\\";

// One COM initialisation of the calling thread as a single-threaded apartment, undone when it
// succeeded (S_OK, or S_FALSE when the thread had initialised COM already). CoInitialize rather than
// CoInitializeEx: it is the same request, and the original Windows 95 has only CoInitialize.
class CComInitialization {
public:
    CComInitialization() : result_(CoInitialize(nullptr)) {}
    ~CComInitialization() {
        if (SUCCEEDED(result_)) CoUninitialize();
    }
    CComInitialization(const CComInitialization&) = delete;
    CComInitialization& operator=(const CComInitialization&) = delete;
    HRESULT Result() const { return result_; }

private:
    HRESULT result_;
};

// A path of at most 259 characters, as the shell's calls take them.
using CPathText = CFixedText<kShortcutTextSize>;

// Reads one "Shell Folders" value, a string of at most 260 bytes, from the root its name selects, and
// appends it to `path`.
HRESULT AppendShellFolder(const char* name, CPathText& path) {
    const HKEY root = std::strncmp(name, kCommonPrefix, sizeof kCommonPrefix - 1) == 0 ? HKEY_LOCAL_MACHINE
                                                                                       : HKEY_CURRENT_USER;
    CRegKey key;
    LONG status = key.Open(root, kShellFoldersKey, KEY_ALL_ACCESS);
    if (status != ERROR_SUCCESS) return HResultFromStatus(status);
    char data[kShortcutTextSize];
    DWORD size = sizeof data;
    DWORD type = REG_NONE;
    status = RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(data), &size);
    if (status != ERROR_SUCCESS) return HResultFromStatus(status);
    if (type != REG_SZ && type != REG_EXPAND_SZ) return HResultFromStatus(ERROR_INVALID_DATA);
    // The stored string need not carry its NUL; it ends at the first one or at the data's end.
    if (!path.Append(data, static_cast<unsigned>(strnlen(data, size))))
        return HResultFromStatus(ERROR_FILENAME_EXCED_RANGE);
    return S_OK;
}

// Reads field 0 and the line's text of an INF line; false when either does not fit its buffer.
bool ReadLine(INFCONTEXT& line, char (&key)[kShortcutTextSize], char (&text)[kShortcutTextSize]) {
    return SetupGetStringFieldA(&line, 0, key, sizeof key, nullptr) &&
           SetupGetLineTextA(&line, nullptr, nullptr, nullptr, text, sizeof text, nullptr);
}

// Creates one shell link; every step runs only after the earlier ones succeeded, and the result is
// that of the last step run.
HRESULT SaveLink(const char* target, const char* arguments, const char* description, const CWideText& linkPath) {
    CComPtr<IShellLinkA> link;
    CComPtr<IPersistFile> file;
    HRESULT hr = CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                  reinterpret_cast<void**>(link.Put()));
    if (SUCCEEDED(hr)) hr = link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(file.Put()));
    if (SUCCEEDED(hr)) hr = link->SetPath(target);
    if (SUCCEEDED(hr)) hr = link->SetArguments(arguments);
    if (SUCCEEDED(hr)) hr = link->SetDescription(description);
    if (SUCCEEDED(hr)) hr = file->Save(reinterpret_cast<LPCOLESTR>(linkPath.c_str()), TRUE);
    return hr;
}

// Deletes a link file without the recycle bin and without asking; the outcome does not matter.
void DeleteLink(const CPathText& linkPath) {
    // Without FOF_NOERRORUI the shell answers a name that is not there with a modal error box, which
    // would stop an unattended removal until someone dismisses it: only a link that exists is handed
    // to it. (A second removal, or one after the user deleted a link, is the usual case.)
    if (GetFileAttributesA(linkPath.c_str()) == INVALID_FILE_ATTRIBUTES) return;
    // One name, ended by the double NUL the shell expects.
    char from[kShortcutTextSize + 1] = {};
    std::memcpy(from, linkPath.c_str(), linkPath.size());
    SHFILEOPSTRUCTA operation = {};
    operation.hwnd = nullptr;
    operation.wFunc = FO_DELETE;
    operation.pFrom = from;
    operation.fFlags = FOF_SILENT | FOF_NOCONFIRMATION;
    SHFileOperationA(&operation);
}

HRESULT AddRemoveFolder(HINF inf, const char* folderSection, const char* folderTemplate, bool install) {
    const bool hasSection = folderSection && *folderSection;
    // Room for a section name as long as any path; a longer one cannot make a valid folder anyway.
    CFixedText<sizeof kDefaultTemplateStart + kShortcutTextSize> defaultTemplate;
    if (!folderTemplate || !*folderTemplate) {
        // Without a section name the default template would name Common Programs itself, which
        // must never be removed: nothing is done, and only adding reports it.
        if (!hasSection) return install ? E_INVALIDARG : S_OK;
        if (!defaultTemplate.Append(kDefaultTemplateStart) || !defaultTemplate.Append(folderSection))
            return install ? HResultFromStatus(ERROR_FILENAME_EXCED_RANGE) : S_OK;
        folderTemplate = defaultTemplate.c_str();
    }
    char folder[kShortcutTextSize];
    const HRESULT expanded = ExpandFolderTemplate(folderTemplate, folder);
    // Without its path the folder is left alone with its shortcuts: nothing is made in a wrong place,
    // and there is nothing to remove that could have been made.
    if (FAILED(expanded)) return install ? expanded : S_OK;

    const CComInitialization com;
    HRESULT result = com.Result();

    INFCONTEXT line;
    // A folder given by its template alone has no shortcuts of its own.
    bool more = hasSection && SetupFindFirstLineA(inf, folderSection, nullptr, &line) != FALSE;
    // One level only: a folder whose parent is missing is not made, and its links then fail to save.
    if (install) CreateDirectoryA(folder, nullptr);

    for (; more; more = SetupFindNextLine(&line, &line) != FALSE) {
        char name[kShortcutTextSize];
        char text[kShortcutTextSize];
        // A line whose texts do not fit, or without a shortcut name, makes no link.
        if (!ReadLine(line, name, text)) {
            const DWORD error = GetLastError();
            if (install) result = HResultFromStatus(error ? static_cast<LONG>(error) : ERROR_INVALID_DATA);
            continue;
        }
        if (!*name) {
            if (install) result = HResultFromStatus(ERROR_INVALID_DATA);
            continue;
        }
        // Target up to the first comma; everything after it, further commas included, is the
        // argument string.
        const char* arguments = "";
        if (char* comma = std::strchr(text, ',')) {
            *comma = '\0';
            arguments = comma + 1;
        }
        CPathText linkPath;
        if (!linkPath.Append(folder) || !linkPath.Append("\\") || !linkPath.Append(name) || !linkPath.Append(".lnk")) {
            if (install) result = HResultFromStatus(ERROR_FILENAME_EXCED_RANGE);
            continue;
        }
        if (install) {
            result = SaveLink(text, arguments, name, ToWide(linkPath.c_str()));
        } else {
            DeleteLink(linkPath);
        }
    }
    // Only an empty folder goes; one the user has put other things in stays.
    if (!install) RemoveDirectoryA(folder);
    return result;
}

}  // namespace

HRESULT ExpandFolderTemplate(LPCSTR folderTemplate, LPSTR folder) {
    return HResultBoundary([&]() -> HRESULT {
        CPathText path;
        for (const char* p = folderTemplate; *p;) {
            if (*p != '<') {
                if (!path.Append(p, 1)) return HResultFromStatus(ERROR_FILENAME_EXCED_RANGE);
                ++p;
                continue;
            }
            const char* end = std::strchr(p + 1, '>');
            if (!end) return E_INVALIDARG;
            // A value name longer than any path cannot expand into one.
            CPathText name;
            if (!name.Append(p + 1, static_cast<unsigned>(end - p - 1)))
                return HResultFromStatus(ERROR_FILENAME_EXCED_RANGE);
            const HRESULT hr = AppendShellFolder(name.c_str(), path);
            if (FAILED(hr)) return hr;
            p = end + 1;
        }
        std::memcpy(folder, path.c_str(), path.size() + 1);
        return S_OK;
    });
}

LONG AddRemoveShortcut(void* inf, const char* folderSection, const char* folderTemplate, int install) {
    return HResultBoundary(
        [&]() -> HRESULT { return AddRemoveFolder(static_cast<HINF>(inf), folderSection, folderTemplate, install != 0); });
}

LONG InstallShortcuts(void* inf, int install, const char* section) {
    HResultBoundary([&]() -> HRESULT {
        char list[kSectionNameSize];
        if (section) {
            lstrcpynA(list, section, kSectionNameSize);
        } else if (install) {
            lstrcpynA(list, kAddShortcuts, kSectionNameSize);
        } else {
            // Removal has a list of its own only when the INF has one in some form.
            GetPlatformSection(static_cast<HINF>(inf), kRemoveShortcuts, list);
            if (SetupGetLineCountA(static_cast<HINF>(inf), list) == -1) {
                lstrcpynA(list, kAddShortcuts, kSectionNameSize);
            } else {
                lstrcpynA(list, kRemoveShortcuts, kSectionNameSize);
            }
        }
        GetPlatformSection(static_cast<HINF>(inf), list, list);

        INFCONTEXT line;
        if (!SetupFindFirstLineA(static_cast<HINF>(inf), list, nullptr, &line)) return S_OK;
        do {
            char folderSection[kShortcutTextSize];
            char folderTemplate[kShortcutTextSize];
            // A line whose texts do not fit names no folder it could be trusted with.
            if (!ReadLine(line, folderSection, folderTemplate)) continue;
            AddRemoveShortcut(inf, folderSection, folderTemplate, install);
        } while (SetupFindNextLine(&line, &line));
        return S_OK;
    });
    return 0;
}
