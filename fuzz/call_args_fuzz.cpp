// libFuzzer target: arbitrary words as the arguments of `kvsim call`, parsed as each kind an export
// takes (the first byte chooses it). A number that parses is within what a 32-bit argument holds and
// parses back from its decimal form to itself; a word that does not parse says why.
#include "check.h"
#include "tools/kvsim/exporttable.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

using fuzzing::Check;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const kvsim::ArgKind kinds[] = {kvsim::ArgKind::Inf, kvsim::ArgKind::String, kvsim::ArgKind::Int,
                                    kvsim::ArgKind::ServiceAction};
    const kvsim::ArgKind kind = kinds[data[0] % 4];
    // A command line's word is a C string.
    std::string word(reinterpret_cast<const char*>(data + 1), size - 1);
    word.resize(std::strlen(word.c_str()));
    kvsim::ArgValue value;
    std::string error;
    if (!kvsim::ParseArg(kind, word, &value, &error)) {
        Check(!error.empty(), "a rejected word without a reason");
        Check(kind == kvsim::ArgKind::Inf || kind == kvsim::ArgKind::Int || kind == kvsim::ArgKind::ServiceAction,
              "a string was rejected");
        return 0;
    }
    Check(value.kind == kind && value.text == word, "the word was not kept");
    Check(value.isNull == (kind == kvsim::ArgKind::String && word == "null"), "null taken wrongly");
    if (kind == kvsim::ArgKind::Int || kind == kvsim::ArgKind::ServiceAction) {
        Check(value.number >= INT32_MIN && value.number <= 0xFFFFFFFFLL, "a number out of range");
        kvsim::ArgValue again;
        Check(kvsim::ParseArg(kvsim::ArgKind::Int, std::to_string(value.number), &again, &error) &&
                  again.number == value.number,
              "a number does not parse back from its decimal form");
    }
    return 0;
}
