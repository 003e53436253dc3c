// Shell link (.lnk) files in the published Shell Link binary format: a 76-byte header, the LinkInfo
// structure that carries a local target's path, the counted strings (description, relative path,
// working directory, arguments, icon location) and an empty extra-data list. The shell's link object
// that writes and reads them is in shell32_links.cpp.
//
// Deliberately less than Windows: no item ID list is written (the target lives in LinkInfo alone,
// which every shell resolves), and a network target is not read back from LinkInfo.
#include "shelllink_internal.h"

#include <winsim/files.h>
#include <winsim/machine.h>
#include <winsim/shelllink.h>
#include <winsim/win32api.h>

#include <sys/stat.h>

#include <cctype>
#include <cstring>
#include <filesystem>
#include <fstream>

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

}  // namespace

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

uint64_t FileTimeOf(const struct stat& st) {
    constexpr uint64_t kEpochDifference = 11644473600ULL;  // seconds from 1601 to 1970
    return (static_cast<uint64_t>(st.st_mtime) + kEpochDifference) * 10000000ULL;
}

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

}  // namespace winsim
