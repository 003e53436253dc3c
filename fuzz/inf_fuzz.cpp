// libFuzzer target: INF text of any shape goes through the parser and the %strkey% substitution.
// Besides not crashing, every result must keep SetupAPI's limits, since the calls hand fields back
// into callers' fixed buffers by those sizes.
//
// Build: clang++ -std=c++17 -fsanitize=fuzzer,address,undefined -Iwinsim/include
//        fuzz/inf_fuzz.cpp winsim/src/inf_parser.cpp

#include "../winsim/src/inf_parser.h"
#include "check.h"

#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

using fuzzing::Check;

namespace {

std::optional<std::string> SomeDirIds(long id) {
    if (id == 10) return std::string("C:\\WINNT");
    if (id == 24) return std::string("C:\\");
    return std::nullopt;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const winsim::InfDocument raw = winsim::ParseInf(text);

    Check((raw.error == 0) == (raw.errorLine == 0));
    for (const auto& section : raw.sections) {
        Check(section.name.size() <= winsim::kInfMaxSectionName);
        Check(raw.FindSection(section.name) >= 0);
        for (const auto& line : section.lines) {
            Check(!line.fields.empty());
            Check(line.key.size() <= winsim::kInfMaxField);
            for (const auto& field : line.fields) Check(field.size() <= winsim::kInfMaxField);
        }
    }

    const winsim::InfDocument expanded = winsim::ExpandInf(raw, SomeDirIds);
    Check(expanded.sections.size() == raw.sections.size());
    for (size_t s = 0; s < expanded.sections.size(); ++s) {
        Check(expanded.sections[s].lines.size() == raw.sections[s].lines.size());
        for (const auto& line : expanded.sections[s].lines) {
            Check(line.key.size() <= winsim::kInfMaxString);
            for (const auto& field : line.fields) Check(field.size() <= winsim::kInfMaxString);
        }
    }
    return 0;
}
