// The record cipher against a plain transcription of its description: TEA with the arithmetic shift,
// in 8-byte cipher feedback, the register restarting for every record.
#include "kvisinst/trace/cipher.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace {

// One segment at a time, the register kept as bytes, exactly as described.
std::vector<unsigned char> ReferenceEncipher(std::vector<unsigned char> data, bool arithmeticShift = true) {
    const CTraceKey key = TraceCipherKey();
    unsigned char r[8];
    StoreLe32(r, kTraceInitialY);
    StoreLe32(r + 4, kTraceInitialZ);
    for (size_t at = 0; at < data.size(); at += 8) {
        uint32_t y = LoadLe32(r), z = LoadLe32(r + 4), sum = 0;
        auto shift = [&](uint32_t w) {
            return arithmeticShift ? static_cast<uint32_t>(static_cast<int32_t>(w) >> 5) : w >> 5;
        };
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

std::vector<unsigned char> RandomBytes(std::mt19937& random, size_t n) {
    std::vector<unsigned char> bytes(n);
    for (auto& b : bytes) b = static_cast<unsigned char>(random());
    return bytes;
}

TEST(TraceCipher, EnciphersAsDescribedForEveryRecordLength) {
    std::mt19937 random(7);
    for (size_t length = 0; length <= 520; length += length < 40 ? 1 : 37) {
        SCOPED_TRACE(testing::Message() << "length " << length);
        const auto plain = RandomBytes(random, length);
        auto enciphered = plain;
        EncipherTraceRecord(enciphered.data(), enciphered.size());
        EXPECT_EQ(ReferenceEncipher(plain), enciphered);
        DecipherTraceRecord(enciphered.data(), enciphered.size());
        EXPECT_EQ(plain, enciphered);
    }
}

TEST(TraceCipher, TheShiftCopiesTheSignBit) {
    // Text bytes are below 0x80 but the register's words are not: the two shifts part ways at once.
    const std::vector<unsigned char> line = {'a', 'b', '\r', '\n'};
    EXPECT_NE(ReferenceEncipher(line, false), ReferenceEncipher(line, true));
    EXPECT_EQ(0xFC000001u, TeaShiftRight5(0x80000020u));
    EXPECT_EQ(0x00000001u, TeaShiftRight5(0x00000020u));
}

TEST(TraceCipher, RecordsAreIndependentAndEqualTextsGiveEqualBytes) {
    std::string a = "same text\r\n", b = a;
    EncipherTraceRecord(reinterpret_cast<unsigned char*>(&a[0]), a.size());
    EncipherTraceRecord(reinterpret_cast<unsigned char*>(&b[0]), b.size());
    EXPECT_EQ(a, b);
    EXPECT_NE("same text\r\n", a);
}

}  // namespace
