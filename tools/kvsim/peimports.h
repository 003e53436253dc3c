// The import tables of a PE image (a Windows DLL or EXE), read from its bytes as the Windows loader
// reads them. The bytes are outside input: every offset, RVA and count is checked against the file
// before it is followed, and a damaged table is reported, never read past.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace kvsim {

struct CPeImport {
    std::string name;       // empty when imported by ordinal
    std::uint16_t ordinal;  // the ordinal when imported by ordinal, otherwise the hint
    bool byOrdinal;
};

struct CPeImportedDll {
    std::string name;  // as the image spells it
    std::vector<CPeImport> functions;
};

struct CPeImports {
    bool pe32Plus = false;             // a 64-bit image
    std::uint16_t machine = 0;         // IMAGE_FILE_HEADER.Machine
    bool isDll = false;
    std::uint16_t subsystemMajor = 0;  // the Windows version the image asks for
    std::uint16_t subsystemMinor = 0;
    std::vector<CPeImportedDll> dlls;         // the import directory, in the image's order
    std::vector<CPeImportedDll> delayLoaded;  // the delay-load directory: loaded at first call
    std::vector<std::string> bound;           // the bound import directory's module names
};

// Reads the import, delay-load and bound import directories of the image in data[0, size). Returns
// false with a one-line reason in *error when the bytes are not a PE image or a table points outside
// them.
bool ReadPeImports(const std::uint8_t* data, std::size_t size, CPeImports* imports, std::string* error);

}  // namespace kvsim
