// Enciphering trace records (the cipher itself is described in cipher.h).
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
