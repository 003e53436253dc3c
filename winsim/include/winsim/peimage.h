// Portable executable files as VERSION.DLL reads them: finding the version resource in the bytes of
// a PE32 or PE32+ file, and building small DLL images with a version resource, which tests and machine
// folders put on a machine's drives.
//
// The reader trusts nothing in the file: every offset and length is checked against the bytes at
// hand, and a damaged file is reported as such without reading outside them.
#pragma once

#include <winsim/types.h>

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

namespace winsim {

enum class VersionLookup {
    Found,
    NotPe,           // no MZ header, or no PE signature where it points
    Damaged,         // headers, sections or resource directory reach past the end or contradict
    NoResources,     // a PE without a resource directory
    NoVersionType,   // resources, but none of type RT_VERSION (16)
    NoVersionName,   // the RT_VERSION directory is empty
    NoLanguage,      // the first name's directory is empty
};

struct VersionLocation {
    VersionLookup status = VersionLookup::NotPe;
    size_t offset = 0;  // of the VS_VERSIONINFO block in the file
    size_t size = 0;    // the block's own length (its wLength), never more than the resource holds
};

// Finds the version resource of a file's bytes: type RT_VERSION, its first name, that name's first
// language, as the resource directory lists them. A block whose length word is below its header or
// beyond the resource's data counts as damaged.
VersionLocation FindVersionResource(const unsigned char* data, size_t size);

// What a built version resource says.
struct VersionResourceFields {
    DWORD fileVersionMS = 0x00010000;
    DWORD fileVersionLS = 0;
    DWORD productVersionMS = 0x00010000;
    DWORD productVersionLS = 0;
    bool translation = true;  // whether \VarFileInfo\Translation is there
    WORD language = 0x0409;
    WORD codePage = 0x04E4;
    // The string table "\StringFileInfo\<language><code page>" (lower-case hex), name and value
    // (Latin-1 text); no table when empty.
    std::vector<std::pair<std::string, std::string>> strings;
};

// A VS_VERSIONINFO block in the 32-bit (UTF-16) layout, as a resource compiler writes it.
std::vector<unsigned char> BuildVersionBlock(const VersionResourceFields& fields);

// A DLL image holding `resourceBlock` (when not empty) as resource 1 of type RT_VERSION in language
// `language`, in a .rsrc section; PE32+ (x64) when pe32Plus, else PE32 (i386). No code, no imports.
std::vector<unsigned char> BuildPeImage(const std::vector<unsigned char>& resourceBlock, bool pe32Plus,
                                        WORD language = 0x0409);

}  // namespace winsim
