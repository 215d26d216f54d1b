#include "files/qvd/block_cipher.h"

namespace morvex::qvd {

namespace {

uint64_t Mix(uint64_t x) {
    x += 0x9E3779B97F4A7C15ull;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    return x ^ (x >> 31);
}

} // namespace

BlockCipher::BlockCipher(std::string_view owner) {
    uint64_t h = 0xCBF29CE484222325ull; // FNV-1a over the owner text, then mixed
    for (unsigned char c : owner)
        h = (h ^ c) * 0x100000001B3ull;
    m_key = Mix(h);
}

void BlockCipher::apply(uint64_t offset, uint8_t* bytes, size_t length) const {
    for (size_t block = 0; block + CipherBlock <= length; block += CipherBlock) {
        const uint64_t seed = Mix(m_key ^ Mix((offset + block) / CipherBlock));
        for (size_t word = 0; word < CipherBlock / 8; ++word) {
            const uint64_t stream = Mix(seed + word);
            for (size_t i = 0; i < 8; ++i)
                bytes[block + word * 8 + i] ^= static_cast<uint8_t>(stream >> (8 * i));
        }
    }
}

} // namespace morvex::qvd
