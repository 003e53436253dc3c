// Enciphering and deciphering trace records (the cipher itself is described in cipher.h).
#include "kvisinst/trace/cipher.h"

namespace {

// Every record starts from the same register, so its first key-stream segment is always the same
// and is worked out once.
struct CFirstSegment {
    uint32_t y = kTraceInitialY;
    uint32_t z = kTraceInitialZ;
    CFirstSegment() { TeaEncipher(y, z, TraceCipherKey()); }
};

}  // namespace

CTraceKey TraceCipherKey() {
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

void EncipherTraceRecord(unsigned char* data, size_t length) {
    static const CFirstSegment first;
    const CTraceKey key = TraceCipherKey();
    uint32_t y = first.y, z = first.z;
    size_t offset = 0;
    for (; length - offset >= 8; offset += 8) {
        if (offset > 0) TeaEncipher(y, z, key);
        // The enciphered segment is the key stream XOR the text, and it is also the next register.
        unsigned char* segment = data + offset;
        y ^= LoadLe32(segment);
        z ^= LoadLe32(segment + 4);
        StoreLe32(segment, y);
        StoreLe32(segment + 4, z);
    }
    if (offset < length) {
        // A short last segment: nothing follows, so nothing is fed back.
        if (offset > 0) TeaEncipher(y, z, key);
        unsigned char stream[8];
        StoreLe32(stream, y);
        StoreLe32(stream + 4, z);
        for (size_t b = 0; offset + b < length; ++b) data[offset + b] ^= stream[b];
    }
}

// Deciphers one record in place. Every segment's register is the enciphered segment before it, all
// known before the first one is deciphered, so four segments are worked on at once: the same result
// as the one-at-a-time description, several times faster.
void DecipherTraceRecord(unsigned char* data, size_t length) {
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
