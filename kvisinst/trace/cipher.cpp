// Enciphering trace records (the cipher itself is described in cipher.h).
#include "kvisinst/trace/cipher.h"

#include <cstring>

namespace {

// Every record starts from the same register, so its first key-stream segment is always the same
// and is worked out once.
struct CFirstSegment {
    uint32_t y = kTraceInitialY;
    uint32_t z = kTraceInitialZ;
    CFirstSegment() { TeaEncipher(y, z, TraceCipherKey()); }
};

}  // namespace

void EncipherTraceRecord(unsigned char* data, size_t length) {
    static const CFirstSegment first;
    const CTraceKey key = TraceCipherKey();
    uint32_t y = first.y, z = first.z;
    for (size_t offset = 0; offset < length; offset += 8) {
        if (offset > 0) TeaEncipher(y, z, key);
        unsigned char stream[8];
        StoreLe32(stream, y);
        StoreLe32(stream + 4, z);
        const size_t n = length - offset < 8 ? length - offset : 8;
        unsigned char* segment = data + offset;
        for (size_t b = 0; b < n; ++b) segment[b] ^= stream[b];
        // The enciphered segment feeds back; only the last segment can be short, and nothing
        // follows it.
        if (n == 8) {
            y = LoadLe32(segment);
            z = LoadLe32(segment + 4);
        }
    }
}
