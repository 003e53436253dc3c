// libFuzzer target: the in-place edit of WinInit.Ini's [rename] section over any file content. The
// edit must keep every original byte in order - the result minus the one inserted block equals the
// input - and the block must be the line, or a header and the line (after a line break when the last
// line had none). Nothing may be written past the capacity.
//
// Build: clang++ -std=c++17 -fsanitize=fuzzer,address,undefined -I. fuzz/wininit_fuzz.cpp
//        kvisinst/cleanup/wininit.cpp

#include "check.h"
#include "kvisinst/cleanup/wininit.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

using fuzzing::Check;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // The first byte picks the line, so that its length varies too.
    if (size == 0) return 0;
    const std::string line = std::string("NUL=C:\\PROGRA~1\\KORVANE\\F") + std::string(data[0] % 40, 'X') + "\r\n";
    const std::string input(reinterpret_cast<const char*>(data + 1), size - 1);

    // Exactly the capacity the edit asks for, so that any write past it is caught.
    const size_t capacity = input.size() + line.size() + kWinInitSpare;
    std::vector<char> buffer(capacity, '\0');
    std::memcpy(buffer.data(), input.data(), input.size());
    size_t at = SIZE_MAX;
    const size_t newSize = AddWinInitRenameLine(buffer.data(), input.size(), capacity, line.data(), line.size(), &at);

    Check(newSize >= input.size() + line.size() && newSize <= capacity && at <= input.size());
    const size_t inserted = newSize - input.size();
    Check(std::memcmp(buffer.data(), input.data(), at) == 0);
    Check(std::memcmp(buffer.data() + at + inserted, input.data() + at, input.size() - at) == 0);
    std::string block(buffer.data() + at, inserted);
    Check(block.size() >= line.size() && block.compare(block.size() - line.size(), line.size(), line) == 0);
    block.resize(block.size() - line.size());
    if (!block.empty()) {
        // An appended section: at the end, after a line break if the text needed one.
        Check(at == input.size());
        const bool needsBreak = !input.empty() && input.back() != '\n';
        Check(block == (needsBreak ? "\r\n[rename]\r\n" : "[rename]\r\n"));
    } else {
        // Under a recognised header.
        Check(at >= 10);
        const std::string header = input.substr(at - 10, 10);
        Check(header == "[rename]\r\n" || header == "[Rename]\r\n" || header == "[RENAME]\r\n");
    }

    // Too little room: nothing changes.
    std::vector<char> small(capacity - 1, '\0');
    std::memcpy(small.data(), input.data(), input.size());
    Check(AddWinInitRenameLine(small.data(), input.size(), small.size(), line.data(), line.size()) == 0);
    Check(std::memcmp(small.data(), input.data(), input.size()) == 0);
    return 0;
}
