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
inline CTraceKey TraceCipherKey() {
    static const volatile unsigned char kBytes[16] = {0x63, 0xC0, 0x7F, 0x08, 0xA7, 0x30, 0x5F, 0xC8,
                                                      0x4E, 0x28, 0x59, 0x89, 0x47, 0x95, 0x53, 0x0F};
    static const volatile uint32_t kMasks[4] = {0x15394649, 0xF38592DE, 0x64DD733B, 0xD1B65E0F};
    CTraceKey key;
    for (int i = 0; i < 4; ++i) {
        const uint32_t word = static_cast<uint32_t>(kBytes[4 * i]) | static_cast<uint32_t>(kBytes[4 * i + 1]) << 8 |
                              static_cast<uint32_t>(kBytes[4 * i + 2]) << 16 |
                              static_cast<uint32_t>(kBytes[4 * i + 3]) << 24;
        key.k[i] = word ^ kMasks[i];
    }
    return key;
}

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

inline uint32_t LoadLe32(const unsigned char* p) {
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    uint32_t word;
    std::memcpy(&word, p, 4);
    return word;
#else
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
           static_cast<uint32_t>(p[3]) << 24;
#endif
}

inline void StoreLe32(unsigned char* p, uint32_t word) {
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    std::memcpy(p, &word, 4);
#else
    p[0] = static_cast<unsigned char>(word);
    p[1] = static_cast<unsigned char>(word >> 8);
    p[2] = static_cast<unsigned char>(word >> 16);
    p[3] = static_cast<unsigned char>(word >> 24);
#endif
}

// Enciphers one record in place.
void EncipherTraceRecord(unsigned char* data, size_t length);

// Deciphers one record in place. Every segment's register is the enciphered segment before it, all
// known before the first one is deciphered, so four segments are worked on at once: the same result
// as the one-at-a-time description, several times faster.
inline void DecipherTraceRecord(unsigned char* data, size_t length) {
    const CTraceKey key = TraceCipherKey();
    uint32_t prevY = kTraceInitialY, prevZ = kTraceInitialZ;
    size_t offset = 0;
    while (offset < length) {
        uint32_t y[4], z[4];
        size_t count = 0;
        for (; count < 4 && offset + count * 8 < length; ++count) {
            if (count == 0) {
                y[0] = prevY;
                z[0] = prevZ;
            } else {
                // The register for this segment is the previous segment as it was read; a full one,
                // since only the last segment of a record is short.
                const unsigned char* before = data + offset + (count - 1) * 8;
                y[count] = LoadLe32(before);
                z[count] = LoadLe32(before + 4);
            }
        }
        for (size_t i = count; i < 4; ++i) y[i] = z[i] = 0;
        uint32_t sum = 0;
#pragma GCC unroll 32
        for (int cycle = 0; cycle < 32; ++cycle) {
            sum += 0x9E3779B9u;
            for (int i = 0; i < 4; ++i)
                y[i] += ((z[i] << 4) + key.k[0]) ^ (z[i] + sum) ^ (TeaShiftRight5(z[i]) + key.k[1]);
            for (int i = 0; i < 4; ++i)
                z[i] += ((y[i] << 4) + key.k[2]) ^ (y[i] + sum) ^ (TeaShiftRight5(y[i]) + key.k[3]);
        }
        for (size_t i = 0; i < count; ++i) {
            unsigned char* segment = data + offset + i * 8;
            const size_t n = length - (offset + i * 8) < 8 ? length - (offset + i * 8) : 8;
            unsigned char stream[8];
            StoreLe32(stream, y[i]);
            StoreLe32(stream + 4, z[i]);
            if (i + 1 == count && n == 8) {
                // The next group starts from this segment as it was read.
                prevY = LoadLe32(segment);
                prevZ = LoadLe32(segment + 4);
            }
            for (size_t b = 0; b < n; ++b) segment[b] ^= stream[b];
        }
        offset += count * 8;
    }
}
