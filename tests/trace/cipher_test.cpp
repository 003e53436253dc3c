// The record cipher against a plain transcription of its description: TEA with the arithmetic shift,
// in 8-byte cipher feedback, the register restarting for every record.
#include "kvisinst/trace/cipher.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

namespace {

// One segment at a time, the register kept as bytes, exactly as described.
std::vector<unsigned char> ReferenceEncipher(std::vector<unsigned char> data) {
    const CTraceKey key = TraceCipherKey();
    unsigned char r[8];
    StoreLe32(r, kTraceInitialY);
    StoreLe32(r + 4, kTraceInitialZ);
    // The shift copies the sign bit: the register's words often have it set, text bytes never.
    auto shift = [](uint32_t w) { return static_cast<uint32_t>(static_cast<int32_t>(w) >> 5); };
    for (size_t at = 0; at < data.size(); at += 8) {
        uint32_t y = LoadLe32(r), z = LoadLe32(r + 4), sum = 0;
        for (int i = 0; i < 32; ++i) {
            sum += 0x9E3779B9u;
            y += ((z << 4) + key.k[0]) ^ (z + sum) ^ (shift(z) + key.k[1]);
            z += ((y << 4) + key.k[2]) ^ (y + sum) ^ (shift(y) + key.k[3]);
        }
        StoreLe32(r, y);
        StoreLe32(r + 4, z);
        const size_t n = std::min<size_t>(8, data.size() - at);
        for (size_t b = 0; b < n; ++b) data[at + b] ^= r[b];
        for (size_t b = 0; b < n; ++b) r[b] = data[at + b];
    }
    return data;
}

// Every call starts from the initial register, so this also proves that records are independent.
TEST(TraceCipher, EnciphersAsDescribedForEveryRecordLength) {
    std::mt19937 random(7);
    for (size_t length = 0; length <= 520; length += length < 40 ? 1 : 37) {
        SCOPED_TRACE(testing::Message() << "length " << length);
        std::vector<unsigned char> plain(length);
        for (auto& b : plain) b = static_cast<unsigned char>(random());
        auto enciphered = plain;
        EncipherTraceRecord(enciphered.data(), enciphered.size());
        EXPECT_EQ(ReferenceEncipher(plain), enciphered);
        DecipherTraceRecord(enciphered.data(), enciphered.size());
        EXPECT_EQ(plain, enciphered);
    }
    EXPECT_EQ(0xFC000001u, TeaShiftRight5(0x80000020u));
}

}  // namespace
