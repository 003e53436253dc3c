// libFuzzer target: arbitrary bytes read as a PE file's version resource, and as a version block
// handed to VerQueryValueA. A block found lies within the file; the queries read only inside the
// block and the room GetFileVersionInfoSizeA would have asked for (sanitizers watch both).
#include <winsim/machine.h>
#include <winsim/peimage.h>
#include <winsim/win32api.h>
#include "check.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

using fuzzing::Check;

namespace {

void Query(const unsigned char* block, size_t length) {
    // Exactly the block and its spare room, so that reading past either is caught.
    std::vector<unsigned char> data(block, block + length);
    data.resize(length * 2 + 4);
    for (const char* path : {"\\", "\\VarFileInfo\\Translation", "\\StringFileInfo\\040904e4\\ProductVersion",
                             "\\StringFileInfo\\040904E4", "\\\\x\\\\"}) {
        void* value = nullptr;
        UINT size = 0;
        if (VerQueryValueA(data.data(), path, &value, &size))
            Check(value >= data.data() && static_cast<unsigned char*>(value) < data.data() + data.size());
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static winsim::ScopedMachine machine(winsim::OsVersion::WinXP);
    const winsim::VersionLocation found = winsim::FindVersionResource(data, size);
    if (found.status == winsim::VersionLookup::Found) {
        Check(found.offset <= size && found.size <= size - found.offset && found.size >= 6);
        Query(data + found.offset, found.size);
    }
    // The bytes themselves as a block, when their length word fits them.
    const size_t length = size >= 2 ? static_cast<size_t>(data[0] | (data[1] << 8)) : 0;
    if (size >= 6 && length <= size) Query(data, length);
    return 0;
}
