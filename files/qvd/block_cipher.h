// The encryption hook of QVD files: a keyed transform of 64-byte blocks. Each
// block is XORed with a keystream derived from the owner text and the block's
// file offset, so the transform is its own inverse and a block moved to
// another offset (a chain copy) is restored with the offset it was read from.
// It keeps casual readers out; it is not a cipher against a determined attacker.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace morvex::qvd {

constexpr size_t CipherBlock = 64;

class BlockCipher {
public:
    explicit BlockCipher(std::string_view owner);
    // Transforms `length` bytes (a multiple of 64) that lie at `offset` in the file.
    void apply(uint64_t offset, uint8_t* bytes, size_t length) const;

private:
    uint64_t m_key;
};

} // namespace morvex::qvd
