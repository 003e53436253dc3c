// version: GetFileVersionInfoSizeA, GetFileVersionInfoA and VerQueryValueA over the PE files on the
// current machine's drives (api/version_info.h says what they answer per Windows version).
#include <winsim/files.h>
#include <winsim/machine.h>
#include <winsim/peimage.h>
#include <winsim/win32api.h>

#include "loader_internal.h"
#include "registry_internal.h"

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

namespace winsim {

namespace {

constexpr DWORD kSpareMark = 0x58324546;  // "FE2X"

// The version block of a file, or the error a lookup of it reports on the current machine.
struct BlockRead {
    std::vector<unsigned char> block;
    DWORD error = ERROR_SUCCESS;
};

DWORD NoVersionDataError() {
    switch (Current().Version()) {
        case OsVersion::Win95:
        case OsVersion::Win98: return ERROR_BAD_FORMAT;
        case OsVersion::Win2000: return ERROR_SUCCESS;
        default: return ERROR_RESOURCE_DATA_NOT_FOUND;
    }
}

BlockRead ReadVersionBlock(LPCSTR fileName) {
    BlockRead read;
    if (!fileName) {
        read.error = ERROR_INVALID_PARAMETER;
        return read;
    }
    const auto path = *fileName ? FindLibraryFile(fileName) : std::nullopt;
    const auto host = path ? HostPath(*path) : std::nullopt;
    std::ifstream in;
    if (host) in.open(*host, std::ios::binary);
    if (!in.is_open()) {
        read.error = ERROR_FILE_NOT_FOUND;
        return read;
    }
    const std::vector<unsigned char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const VersionLocation found = FindVersionResource(bytes.data(), bytes.size());
    switch (found.status) {
        case VersionLookup::Found:
            read.block.assign(bytes.begin() + found.offset, bytes.begin() + found.offset + found.size);
            break;
        case VersionLookup::NotPe:
        case VersionLookup::Damaged: read.error = NoVersionDataError(); break;
        case VersionLookup::NoResources: read.error = ERROR_RESOURCE_DATA_NOT_FOUND; break;
        case VersionLookup::NoVersionType: read.error = ERROR_RESOURCE_TYPE_NOT_FOUND; break;
        case VersionLookup::NoVersionName: read.error = ERROR_RESOURCE_NAME_NOT_FOUND; break;
        case VersionLookup::NoLanguage: read.error = ERROR_RESOURCE_LANG_NOT_FOUND; break;
    }
    return read;
}

// Where the spare part of a returned buffer starts, relative to the block's length.
size_t SpareStart(size_t blockLength) {
    return Current().Version() == OsVersion::NT4 ? blockLength : blockLength + 4;
}

// The room GetFileVersionInfoSizeA asks for: the block, a spare part as large as the block (half as
// large on NT 4), and on the others 4 bytes for the mark between them.
DWORD ReportedSize(size_t blockLength) {
    if (Current().Version() == OsVersion::NT4) return static_cast<DWORD>(blockLength + blockLength / 2);
    return static_cast<DWORD>(blockLength * 2 + 4);
}

WORD WordAt(const unsigned char* p) { return static_cast<WORD>(p[0] | (p[1] << 8)); }

size_t Align4(size_t offset) { return (offset + 3) & ~size_t{3}; }

// One node of a version block: where it starts, its length, value and key, all within `limit`.
struct Node {
    size_t start = 0;
    size_t end = 0;         // start + wLength
    size_t keyAt = 0;
    size_t keyChars = 0;    // without the terminating null
    size_t valueAt = 0;
    size_t valueBytes = 0;  // within the node
    WORD valueLength = 0;
    WORD type = 0;
};

// Reads the node at `start`, which must end by `limit`; nothing when its words or key lie.
std::optional<Node> ReadNode(const unsigned char* block, size_t start, size_t limit) {
    if (start + 6 > limit) return std::nullopt;
    Node node;
    node.start = start;
    const WORD length = WordAt(block + start);
    node.valueLength = WordAt(block + start + 2);
    node.type = WordAt(block + start + 4);
    if (length < 6 || length > limit - start) return std::nullopt;
    node.end = start + length;
    node.keyAt = start + 6;
    size_t at = node.keyAt;
    while (at + 2 <= node.end && WordAt(block + at) != 0) at += 2;
    if (at + 2 > node.end) return std::nullopt;
    node.keyChars = (at - node.keyAt) / 2;
    node.valueAt = std::min(Align4(at + 2), node.end);
    const size_t wanted = node.type == 1 ? size_t{node.valueLength} * 2 : node.valueLength;
    node.valueBytes = std::min(wanted, node.end - node.valueAt);
    return node;
}

bool KeyEquals(const unsigned char* block, const Node& node, std::string_view name) {
    if (node.keyChars != name.size()) return false;
    for (size_t i = 0; i < name.size(); ++i) {
        const WORD c = WordAt(block + node.keyAt + i * 2);
        const char16_t want = AnsiToUnicode(UpperAnsi(static_cast<unsigned char>(name[i])));
        const char16_t have = c < 0x100 ? AnsiToUnicode(UpperAnsi(static_cast<unsigned char>(c))) : c;
        if (want != have) return false;
    }
    return true;
}

// The child of `parent` named `name`; its children start after its value.
std::optional<Node> FindChild(const unsigned char* block, const Node& parent, std::string_view name) {
    size_t at = Align4(parent.valueAt + parent.valueBytes);
    while (at < parent.end) {
        const auto child = ReadNode(block, at, parent.end);
        if (!child) return std::nullopt;
        if (KeyEquals(block, *child, name)) return child;
        at = Align4(child->end);
    }
    return std::nullopt;
}

}  // namespace

}  // namespace winsim

using winsim::Current;

DWORD GetFileVersionInfoSizeA(LPCSTR fileName, LPDWORD handle) {
    if (handle) *handle = 0;
    const winsim::BlockRead read = winsim::ReadVersionBlock(fileName);
    if (read.block.empty()) {
        SetLastError(read.error);
        return 0;
    }
    return winsim::ReportedSize(read.block.size());
}

BOOL GetFileVersionInfoA(LPCSTR fileName, DWORD, DWORD length, LPVOID data) {
    if (!data) {
        SetLastError(ERROR_INVALID_DATA);
        return FALSE;
    }
    const winsim::BlockRead read = winsim::ReadVersionBlock(fileName);
    if (read.block.empty()) {
        SetLastError(read.error);
        return FALSE;
    }
    // A short buffer receives what fits; the block's own length word still tells the whole.
    const size_t copied = std::min<size_t>(length, read.block.size());
    std::memcpy(data, read.block.data(), copied);
    if (Current().Version() != winsim::OsVersion::NT4 && length >= read.block.size() + 4) {
        const DWORD mark = winsim::kSpareMark;
        std::memcpy(static_cast<unsigned char*>(data) + read.block.size(), &mark, 4);
    }
    return TRUE;
}

BOOL VerQueryValueA(LPCVOID blockData, LPCSTR subBlock, LPVOID* buffer, PUINT length) {
    const bool ntFamily = winsim::IsNtFamily(Current().Version());
    auto fail = [&]() {
        if (ntFamily && length) *length = 0;
        if (Current().Version() == winsim::OsVersion::WinXP) SetLastError(ERROR_RESOURCE_TYPE_NOT_FOUND);
        return FALSE;
    };
    if (!blockData || !buffer || (!subBlock && !ntFamily)) return fail();
    const auto* block = static_cast<const unsigned char*>(blockData);
    auto node = winsim::ReadNode(block, 0, winsim::WordAt(block));
    if (!node) return fail();
    const std::string_view path = subBlock ? subBlock : "";
    size_t at = 0;
    while (at < path.size()) {
        if (path[at] == '\\') {
            ++at;
            continue;
        }
        const size_t end = std::min(path.find('\\', at), path.size());
        node = winsim::FindChild(block, *node, path.substr(at, end - at));
        if (!node) return fail();
        at = end;
    }
    const bool isRoot = node->start == 0;
    if (node->type == 1 && !isRoot) {
        // A string: its ANSI copy goes into the spare part, at half the string's offset in the block.
        const size_t blockLength = winsim::WordAt(block);
        auto* copy = const_cast<unsigned char*>(block) + winsim::SpareStart(blockLength) + node->valueAt / 2;
        // Up to the null, which some resource compilers leave out of the value's length; a string
        // without one ends where a null would still fit in the node, so the copy fits its half.
        size_t chars = 0;
        while (node->valueAt + chars * 2 + 4 <= node->end && winsim::WordAt(block + node->valueAt + chars * 2) != 0) {
            copy[chars] = winsim::UnicodeToAnsi(winsim::WordAt(block + node->valueAt + chars * 2));
            ++chars;
        }
        copy[chars] = 0;
        *buffer = copy;
        if (length) *length = node->valueLength ? static_cast<UINT>(chars + 1) : 0;
        return TRUE;
    }
    *buffer = const_cast<unsigned char*>(block) + node->valueAt;
    if (length) *length = static_cast<UINT>(node->valueBytes);
    return TRUE;
}
