// The PE import-table reader of `kvsim imports`: any bytes, never a read outside them.
#include "tools/kvsim/peimports.h"

#include <cstddef>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    kvsim::CPeImports imports;
    std::string error;
    kvsim::ReadPeImports(data, size, &imports, &error);
    return 0;
}
