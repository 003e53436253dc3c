// The shell's link object (CLSID_ShellLink with IShellLinkA and IPersistFile) and the link files it
// saves, in the published Shell Link binary format: a 76-byte header, the LinkInfo structure that
// carries a local target's path, the counted strings (description, relative path, working
// directory, arguments, icon location) and an empty extra-data list.
//
// Deliberately less than Windows: no item ID list is written (the target lives in LinkInfo alone,
// which every shell resolves), a network target is not read back from LinkInfo, and SetPath stores
// the path as given instead of resolving it through the search path.
#include "ole32_com_internal.h"
#include "pathcheck.h"

#include <winsim/files.h>
#include <winsim/machine.h>
#include <winsim/shelllink.h>
#include <winsim/win32api.h>

#include <sys/stat.h>

#include <cctype>
#include <cstring>
#include <filesystem>
#include <fstream>

const CLSID CLSID_ShellLink = {0x00021401, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
const IID IID_IShellLinkA = {0x000214EE, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

namespace winsim {

namespace {

// LinkFlags.
constexpr DWORD kHasLinkTargetIdList = 0x1;
constexpr DWORD kHasLinkInfo = 0x2;
constexpr DWORD kHasName = 0x4;
constexpr DWORD kHasRelativePath = 0x8;
constexpr DWORD kHasWorkingDir = 0x10;
constexpr DWORD kHasArguments = 0x20;
constexpr DWORD kHasIconLocation = 0x40;
constexpr DWORD kIsUnicode = 0x80;

constexpr DWORD kHeaderSize = 0x4C;
constexpr DWORD kLinkInfoHeaderSize = 0x1C;
constexpr DWORD kVolumeIdAndLocalBasePath = 0x1;
constexpr DWORD kDriveFixed = 3;
// winsim's drives have no serial numbers; every link records this one.
constexpr DWORD kVolumeSerial = 0x1F2E3D4C;

// Longest strings the object accepts: MAX_PATH for paths, INFOTIPSIZE for the free texts. Longer
// input is refused rather than cut, so a link never points somewhere its creator did not name.
constexpr size_t kMaxPath = MAX_PATH - 1;
constexpr size_t kMaxText = 1023;

void Put16(std::string& out, uint32_t v) {
    out += static_cast<char>(v & 0xFF);
    out += static_cast<char>((v >> 8) & 0xFF);
}
void Put32(std::string& out, uint32_t v) {
    Put16(out, v & 0xFFFF);
    Put16(out, v >> 16);
}
void Put64(std::string& out, uint64_t v) {
    Put32(out, static_cast<uint32_t>(v));
    Put32(out, static_cast<uint32_t>(v >> 32));
}
void PutGuid(std::string& out, const GUID& g) {
    Put32(out, g.Data1);
    Put16(out, g.Data2);
    Put16(out, g.Data3);
    out.append(reinterpret_cast<const char*>(g.Data4), 8);
}

// A local target the LinkInfo structure can carry: "X:\...".
bool IsLocalAbsolute(const std::string& path) {
    return path.size() >= 3 && std::isalpha(static_cast<unsigned char>(path[0])) && path[1] == ':' &&
           path[2] == '\\';
}

std::u16string AnsiToUtf16(const std::string& text) {
    std::u16string wide(text.size(), u'\0');
    if (!text.empty())
        MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), wide.data(),
                            static_cast<int>(wide.size()));
    return wide;
}

std::string Utf16ToAnsi(const std::u16string& wide) {
    if (wide.empty()) return {};
    std::string text(wide.size(), '\0');
    const int n = WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(wide.size()), text.data(),
                                      static_cast<int>(text.size()), nullptr, nullptr);
    text.resize(n > 0 ? static_cast<size_t>(n) : 0);
    return text;
}

void PutCountedString(std::string& out, const std::string& text, bool unicode) {
    if (unicode) {
        const std::u16string wide = AnsiToUtf16(text);
        Put16(out, static_cast<uint32_t>(wide.size()));
        for (char16_t c : wide) Put16(out, c);
    } else {
        Put16(out, static_cast<uint32_t>(text.size()));
        out += text;
    }
}

std::string LinkInfo(const std::string& localBasePath) {
    std::string volume;
    Put32(volume, 0);  // size, patched below
    Put32(volume, kDriveFixed);
    Put32(volume, kVolumeSerial);
    Put32(volume, 0x10);  // the label follows at once
    volume += '\0';       // no label
    const uint32_t volumeSize = static_cast<uint32_t>(volume.size());
    volume[0] = static_cast<char>(volumeSize);

    const uint32_t volumeOffset = kLinkInfoHeaderSize;
    const uint32_t baseOffset = volumeOffset + volumeSize;
    const uint32_t suffixOffset = baseOffset + static_cast<uint32_t>(localBasePath.size()) + 1;
    const uint32_t total = suffixOffset + 1;  // the common path suffix is empty

    std::string info;
    Put32(info, total);
    Put32(info, kLinkInfoHeaderSize);
    Put32(info, kVolumeIdAndLocalBasePath);
    Put32(info, volumeOffset);
    Put32(info, baseOffset);
    Put32(info, 0);  // no network location
    Put32(info, suffixOffset);
    info += volume;
    info += localBasePath;
    info += '\0';
    info += '\0';
    return info;
}

// Bounds-checked little-endian reading of a link file.
class Reader {
public:
    explicit Reader(std::string_view bytes) : bytes_(bytes) {}
    bool Has(size_t n) const { return pos_ <= bytes_.size() && bytes_.size() - pos_ >= n; }
    size_t Pos() const { return pos_; }
    bool Skip(size_t n) {
        if (!Has(n)) return false;
        pos_ += n;
        return true;
    }
    bool U16(uint32_t& v) {
        if (!Has(2)) return false;
        v = Byte(pos_) | (Byte(pos_ + 1) << 8);
        pos_ += 2;
        return true;
    }
    bool U32(uint32_t& v) {
        uint32_t lo = 0, hi = 0;
        if (!Has(4)) return false;
        U16(lo);
        U16(hi);
        v = lo | (hi << 16);
        return true;
    }
    bool U64(uint64_t& v) {
        uint32_t lo = 0, hi = 0;
        if (!Has(8)) return false;
        U32(lo);
        U32(hi);
        v = lo | (static_cast<uint64_t>(hi) << 32);
        return true;
    }
    bool CountedString(bool unicode, std::string& out) {
        uint32_t count = 0;
        if (!U16(count)) return false;
        if (!unicode) {
            if (!Has(count)) return false;
            out.assign(bytes_.substr(pos_, count));
            pos_ += count;
            return true;
        }
        if (!Has(static_cast<size_t>(count) * 2)) return false;
        std::u16string wide;
        for (uint32_t i = 0; i < count; ++i) {
            uint32_t c = 0;
            U16(c);
            wide += static_cast<char16_t>(c);
        }
        out = Utf16ToAnsi(wide);
        return true;
    }
    uint32_t Byte(size_t at) const { return static_cast<unsigned char>(bytes_[at]); }
    std::string_view Bytes() const { return bytes_; }

private:
    std::string_view bytes_;
    size_t pos_ = 0;
};

// A NUL-terminated ANSI string at `offset` within the structure [start, start+size).
std::optional<std::string> StringIn(std::string_view bytes, size_t start, size_t size, size_t offset) {
    if (offset >= size) return std::nullopt;
    const std::string_view area = bytes.substr(start + offset, size - offset);
    const size_t end = area.find('\0');
    if (end == std::string_view::npos) return std::nullopt;
    return std::string(area.substr(0, end));
}

bool ReadLinkInfo(Reader& reader, std::string& target) {
    const size_t start = reader.Pos();
    uint32_t size = 0, headerSize = 0, flags = 0, volumeOffset = 0, baseOffset = 0, networkOffset = 0,
             suffixOffset = 0;
    if (!reader.U32(size) || size < kLinkInfoHeaderSize || !reader.Has(size - 4)) return false;
    reader.U32(headerSize);
    reader.U32(flags);
    reader.U32(volumeOffset);
    reader.U32(baseOffset);
    reader.U32(networkOffset);
    reader.U32(suffixOffset);
    if (headerSize < kLinkInfoHeaderSize || headerSize > size) return false;
    const std::string_view bytes = reader.Bytes();
    if (flags & kVolumeIdAndLocalBasePath) {
        auto base = StringIn(bytes, start, size, baseOffset);
        if (!base) return false;
        auto suffix = StringIn(bytes, start, size, suffixOffset);
        target = *base + suffix.value_or("");
    }
    // Past the whole structure, whatever its optional parts held.
    reader.Skip(start + size - reader.Pos());
    return true;
}

// FILETIME of a host file's last change.
uint64_t FileTimeOf(const struct stat& st) {
    constexpr uint64_t kEpochDifference = 11644473600ULL;  // seconds from 1601 to 1970
    return (static_cast<uint64_t>(st.st_mtime) + kEpochDifference) * 10000000ULL;
}

}  // namespace

std::string EncodeShellLink(const ShellLinkData& link, bool unicode) {
    const bool hasLinkInfo = IsLocalAbsolute(link.target);
    const bool hasRelativePath = !hasLinkInfo && !link.target.empty();
    DWORD flags = 0;
    if (hasLinkInfo) flags |= kHasLinkInfo;
    if (!link.description.empty()) flags |= kHasName;
    if (hasRelativePath) flags |= kHasRelativePath;
    if (!link.workingDirectory.empty()) flags |= kHasWorkingDir;
    if (!link.arguments.empty()) flags |= kHasArguments;
    if (!link.iconLocation.empty()) flags |= kHasIconLocation;
    if (unicode) flags |= kIsUnicode;

    std::string out;
    Put32(out, kHeaderSize);
    PutGuid(out, CLSID_ShellLink);
    Put32(out, flags);
    Put32(out, link.targetAttributes);
    Put64(out, link.targetWriteTime);  // creation
    Put64(out, link.targetWriteTime);  // last access
    Put64(out, link.targetWriteTime);  // last write
    Put32(out, link.targetSize);
    Put32(out, static_cast<uint32_t>(link.iconIndex));
    Put32(out, static_cast<uint32_t>(link.showCommand));
    Put16(out, link.hotkey);
    Put16(out, 0);
    Put32(out, 0);
    Put32(out, 0);

    if (hasLinkInfo) out += LinkInfo(link.target);
    if (flags & kHasName) PutCountedString(out, link.description, unicode);
    if (flags & kHasRelativePath) PutCountedString(out, link.target, unicode);
    if (flags & kHasWorkingDir) PutCountedString(out, link.workingDirectory, unicode);
    if (flags & kHasArguments) PutCountedString(out, link.arguments, unicode);
    if (flags & kHasIconLocation) PutCountedString(out, link.iconLocation, unicode);
    Put32(out, 0);  // terminal block: no extra data
    return out;
}

std::optional<ShellLinkData> DecodeShellLink(std::string_view bytes) {
    Reader reader(bytes);
    uint32_t headerSize = 0, flags = 0, attributes = 0, size = 0, icon = 0, show = 0, hotkey = 0;
    uint64_t created = 0, accessed = 0, written = 0;
    if (!reader.U32(headerSize) || headerSize != kHeaderSize || !reader.Has(kHeaderSize - 4)) return std::nullopt;
    std::string clsid;
    PutGuid(clsid, CLSID_ShellLink);
    if (bytes.substr(4, 16) != clsid) return std::nullopt;
    reader.Skip(16);
    reader.U32(flags);
    reader.U32(attributes);
    reader.U64(created);
    reader.U64(accessed);
    reader.U64(written);
    reader.U32(size);
    reader.U32(icon);
    reader.U32(show);
    reader.U16(hotkey);
    reader.Skip(10);

    ShellLinkData link;
    link.targetAttributes = attributes;
    link.targetSize = size;
    link.targetWriteTime = written;
    link.iconIndex = static_cast<int>(icon);
    link.showCommand = static_cast<int>(show);
    link.hotkey = static_cast<WORD>(hotkey);
    if (flags & kHasLinkTargetIdList) {
        uint32_t listSize = 0;
        if (!reader.U16(listSize) || !reader.Skip(listSize)) return std::nullopt;
    }
    if ((flags & kHasLinkInfo) && !ReadLinkInfo(reader, link.target)) return std::nullopt;
    const bool unicode = (flags & kIsUnicode) != 0;
    std::string relativePath;
    if ((flags & kHasName) && !reader.CountedString(unicode, link.description)) return std::nullopt;
    if ((flags & kHasRelativePath) && !reader.CountedString(unicode, relativePath)) return std::nullopt;
    if ((flags & kHasWorkingDir) && !reader.CountedString(unicode, link.workingDirectory)) return std::nullopt;
    if ((flags & kHasArguments) && !reader.CountedString(unicode, link.arguments)) return std::nullopt;
    if ((flags & kHasIconLocation) && !reader.CountedString(unicode, link.iconLocation)) return std::nullopt;
    if (link.target.empty()) link.target = relativePath;
    return link;
}

std::optional<ShellLinkData> ReadShellLink(std::string_view windowsPath) {
    auto bytes = ReadWholeFile(windowsPath);
    if (!bytes) return std::nullopt;
    return DecodeShellLink(*bytes);
}

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
