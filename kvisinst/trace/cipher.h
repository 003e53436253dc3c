// The trace file's cipher: TEA (64-bit block, 128-bit key, 32 cycles) in cipher-feedback mode with
// 8-byte segments, each record enciphered on its own from the same initial register. The key and the
// initial register are defined here once, for the library that writes trace files and for the tools
// that read them.
//
// This TEA shifts right arithmetically (the sign bit of the word is copied into the vacated bits)
// where the published algorithm shifts in zeros; trace files depend on it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

struct CTraceKey {
    uint32_t k[4];
};

// The key is not stored as such: it is built when needed from byte constants and a mask per word,
// so the binary holds no copy of it to find.
CTraceKey TraceCipherKey();

// The feedback register's value at the start of every record: y, then z.
constexpr uint32_t kTraceInitialY = 0x63489EB1;
constexpr uint32_t kTraceInitialZ = 0x395C9A0B;

// Shifts right by 5, copying the sign bit. The compilers this project uses shift a negative signed
// number arithmetically (GCC documents it, and C++20 requires it), which is one instruction.
inline uint32_t TeaShiftRight5(uint32_t word) { return static_cast<uint32_t>(static_cast<int32_t>(word) >> 5); }

// One TEA encipherment of the block (y, z) in place. Unrolled, so that the running sum is a
// constant in each cycle and only the cipher's own dependencies remain.
inline void TeaEncipher(uint32_t& y, uint32_t& z, const CTraceKey& key) {
    uint32_t sum = 0;
#pragma GCC unroll 32
    for (int cycle = 0; cycle < 32; ++cycle) {
        sum += 0x9E3779B9u;
        y += ((z << 4) + key.k[0]) ^ (z + sum) ^ (TeaShiftRight5(z) + key.k[1]);
        z += ((y << 4) + key.k[2]) ^ (y + sum) ^ (TeaShiftRight5(y) + key.k[3]);
    }
}

// Both targets (x86 Linux and Windows) are little-endian, so a word is loaded and stored as it lies.
static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "the trace cipher reads words in memory order");

inline uint32_t LoadLe32(const unsigned char* p) {
    uint32_t word;
    std::memcpy(&word, p, 4);
    return word;
}

inline void StoreLe32(unsigned char* p, uint32_t word) { std::memcpy(p, &word, 4); }

// Enciphers one record in place.
void EncipherTraceRecord(unsigned char* data, size_t length);

// Deciphers one record in place.
void DecipherTraceRecord(unsigned char* data, size_t length);
