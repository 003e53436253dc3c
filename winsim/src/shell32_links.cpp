// shell32: the shell's link object (CLSID_ShellLink with IShellLinkA and IPersistFile), which saves
// and loads link files in the format of shelllink.cpp.
//
// Deliberately less than Windows: SetPath stores the path as given instead of resolving it through
// the search path.
#include "ole32_com_internal.h"
#include "pathcheck.h"
#include "shelllink_internal.h"

#include <winsim/files.h>
#include <winsim/machine.h>

#include <cstring>
#include <filesystem>
#include <fstream>

const CLSID CLSID_ShellLink = {0x00021401, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
const IID IID_IShellLinkA = {0x000214EE, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

namespace winsim {

namespace {

std::string Narrow(LPCOLESTR wide) {
    std::u16string text;
    for (; *wide; ++wide) text += *wide;
    return Utf16ToAnsi(text);
}

HRESULT CopyOut(const std::string& text, LPSTR buffer, int size) {
    if (!buffer || size <= 0) return E_INVALIDARG;
    lstrcpynA(buffer, text.c_str(), size);
    return S_OK;
}

HRESULT Store(std::string& field, LPCSTR text, size_t limit) {
    if (!text) return E_INVALIDARG;
    if (std::strlen(text) > limit) return E_INVALIDARG;
    field = text;
    return S_OK;
}

class ShellLinkObject final : public IShellLinkA, public IPersistFile {
public:
    ShellLinkObject() { ComObjectCreated(); }
    ~ShellLinkObject() { ComObjectDestroyed(); }

    // IUnknown
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
        if (!object) return E_POINTER;
        if (IsEqualGUID(riid, IID_IUnknown) || IsEqualGUID(riid, IID_IShellLinkA)) {
            *object = static_cast<IShellLinkA*>(this);
        } else if (IsEqualGUID(riid, IID_IPersistFile) || IsEqualGUID(riid, IID_IPersist)) {
            *object = static_cast<IPersistFile*>(this);
        } else {
            *object = nullptr;
            return E_NOINTERFACE;
        }
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG left = --references_;
        if (left == 0) delete this;
        return left;
    }

    // IShellLinkA
    HRESULT STDMETHODCALLTYPE GetPath(LPSTR file, int size, WIN32_FIND_DATAA* data, DWORD) override {
        if (data) std::memset(data, 0, sizeof *data);
        const HRESULT hr = CopyOut(link_.target, file, size);
        if (FAILED(hr)) return hr;
        return link_.target.empty() ? S_FALSE : S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetIDList(PIDLIST_ABSOLUTE* list) override {
        if (list) *list = nullptr;
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE SetIDList(PCIDLIST_ABSOLUTE) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetDescription(LPSTR name, int size) override {
        return CopyOut(link_.description, name, size);
    }
    HRESULT STDMETHODCALLTYPE SetDescription(LPCSTR name) override {
        return Changed(Store(link_.description, name, kMaxText));
    }
    HRESULT STDMETHODCALLTYPE GetWorkingDirectory(LPSTR dir, int size) override {
        return CopyOut(link_.workingDirectory, dir, size);
    }
    HRESULT STDMETHODCALLTYPE SetWorkingDirectory(LPCSTR dir) override {
        return Changed(Store(link_.workingDirectory, dir, kMaxPath));
    }
    HRESULT STDMETHODCALLTYPE GetArguments(LPSTR args, int size) override {
        return CopyOut(link_.arguments, args, size);
    }
    HRESULT STDMETHODCALLTYPE SetArguments(LPCSTR args) override {
        return Changed(Store(link_.arguments, args, kMaxText));
    }
    HRESULT STDMETHODCALLTYPE GetHotkey(WORD* hotkey) override {
        if (!hotkey) return E_INVALIDARG;
        *hotkey = link_.hotkey;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetHotkey(WORD hotkey) override {
        link_.hotkey = hotkey;
        return Changed(S_OK);
    }
    HRESULT STDMETHODCALLTYPE GetShowCmd(int* showCmd) override {
        if (!showCmd) return E_INVALIDARG;
        *showCmd = link_.showCommand;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetShowCmd(int showCmd) override {
        link_.showCommand = showCmd;
        return Changed(S_OK);
    }
    HRESULT STDMETHODCALLTYPE GetIconLocation(LPSTR iconPath, int size, int* icon) override {
        if (icon) *icon = link_.iconIndex;
        return CopyOut(link_.iconLocation, iconPath, size);
    }
    HRESULT STDMETHODCALLTYPE SetIconLocation(LPCSTR iconPath, int icon) override {
        const HRESULT hr = Store(link_.iconLocation, iconPath, kMaxPath);
        if (SUCCEEDED(hr)) link_.iconIndex = icon;
        return Changed(hr);
    }
    HRESULT STDMETHODCALLTYPE SetRelativePath(LPCSTR pathRel, DWORD) override {
        // Only used to find a moved target again, which the simulation never has to do.
        return pathRel ? S_OK : E_INVALIDARG;
    }
    HRESULT STDMETHODCALLTYPE Resolve(HWND, DWORD) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE SetPath(LPCSTR file) override {
        return Changed(Store(link_.target, file, kMaxPath));
    }

    // IPersistFile
    HRESULT STDMETHODCALLTYPE GetClassID(CLSID* classId) override {
        if (!classId) return E_POINTER;
        *classId = CLSID_ShellLink;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE IsDirty() override { return dirty_ ? S_OK : S_FALSE; }
    HRESULT STDMETHODCALLTYPE Load(LPCOLESTR fileName, DWORD) override {
        if (!fileName) return E_INVALIDARG;
        const std::string path = Narrow(fileName);
        auto host = HostPath(path);
        if (!host || EntryAt(*host) != HostEntry::File)
            return HRESULT_FROM_WIN32(host ? MissingEntryError(*host) : ERROR_INVALID_NAME);
        auto link = ReadShellLink(path);
        if (!link) return E_FAIL;
        link_ = *link;
        current_ = *FullWindowsPath(path);
        dirty_ = false;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Save(LPCOLESTR fileName, BOOL remember) override {
        std::string path;
        if (fileName) {
            path = Narrow(fileName);
        } else {
            if (current_.empty()) return E_INVALIDARG;
            path = current_;
            remember = TRUE;
        }
        auto full = FullWindowsPath(path);
        if (!full) return E_INVALIDARG;
        if (HasInvalidNameCharacters(*full)) return HRESULT_FROM_WIN32(ERROR_INVALID_NAME);
        if (full->size() > kMaxPath) return HRESULT_FROM_WIN32(ERROR_FILENAME_EXCED_RANGE);
        auto host = HostPath(*full);
        if (!host) return E_INVALIDARG;
        // The folder must exist: saving a link never creates one.
        if (EntryAt(std::filesystem::path(*host).parent_path().string()) != HostEntry::Directory)
            return HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND);
        if (EntryAt(*host) == HostEntry::Directory || IsReadOnlyFile(*host)) return E_ACCESSDENIED;

        ShellLinkData saved = link_;
        RecordTarget(saved);
        const bool unicode = IsNtFamily(Current().Version());
        const std::string bytes = EncodeShellLink(saved, unicode);
        std::ofstream out(*host, std::ios::binary | std::ios::trunc);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        if (!out) return E_FAIL;
        if (remember) {
            current_ = *full;
            dirty_ = false;
        }
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SaveCompleted(LPCOLESTR) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE GetCurFile(LPOLESTR* fileName) override {
        if (!fileName) return E_POINTER;
        *fileName = nullptr;
        if (current_.empty()) return S_FALSE;
        const std::u16string wide = AnsiToUtf16(current_);
        auto* copy = static_cast<LPOLESTR>(CoTaskMemAlloc((wide.size() + 1) * sizeof(OLECHAR)));
        if (!copy) return E_OUTOFMEMORY;
        std::memcpy(copy, wide.c_str(), (wide.size() + 1) * sizeof(OLECHAR));
        *fileName = copy;
        return S_OK;
    }

private:
    HRESULT Changed(HRESULT hr) {
        if (SUCCEEDED(hr)) dirty_ = true;
        return hr;
    }

    // The header keeps what the target was when the link was saved, for the shell's tracking.
    static void RecordTarget(ShellLinkData& link) {
        link.targetAttributes = 0;
        link.targetSize = 0;
        link.targetWriteTime = 0;
        if (!IsLocalAbsolute(link.target)) return;
        auto host = HostPath(link.target);
        struct stat st {};
        if (!host || stat(host->c_str(), &st) != 0) return;
        if (S_ISDIR(st.st_mode)) {
            link.targetAttributes = FILE_ATTRIBUTE_DIRECTORY;
        } else {
            link.targetAttributes = FILE_ATTRIBUTE_ARCHIVE | (IsReadOnlyFile(*host) ? FILE_ATTRIBUTE_READONLY : 0);
            link.targetSize = static_cast<DWORD>(st.st_size);
        }
        link.targetWriteTime = FileTimeOf(st);
    }

    ULONG references_ = 1;
    ShellLinkData link_;
    std::string current_;
    bool dirty_ = false;
};

}  // namespace

IUnknown* CreateShellLinkObject() { return static_cast<IShellLinkA*>(new ShellLinkObject()); }

}  // namespace winsim
