// Encryption of whole units for the SVAC stream writer, with the decoder's own ciphers: each
// payload is encrypted block by block with the same key (no chaining), the way a decoder
// decrypts units that carry the encryption bit. Link svacwriter_crypto.
#ifndef SVACWRITER_UNIT_ENCRYPTOR_H
#define SVACWRITER_UNIT_ENCRYPTOR_H

#include <cstddef>
#include <cstdint>
#include <vector>

#include "svacwriter/nal_writer.h"

namespace svacwriter {

class UnitEncryptor {
public:
    UnitEncryptor();
    ~UnitEncryptor();
    UnitEncryptor(const UnitEncryptor&) = delete;
    UnitEncryptor& operator=(const UnitEncryptor&) = delete;

    // cipher_type 1 DES (8-byte key) or 2 AES (16, 24 or 32 bytes). False for another type or
    // key length; the encryptor then has no key.
    bool set_key(uint32_t cipher_type, const uint8_t* key, size_t size);
    size_t block_size() const;

    // Pads the payload with zero bytes (after its stop bit, so its bit length stays) to whole
    // blocks, encrypts it and sets the unit's encryption bit. A ciphertext ending in a zero
    // byte would lose that byte to the start-code search: one more zero block is added, and
    // when that one ends in zero as well the unit fails (error set). False without a key or
    // for a unit with an error.
    bool encrypt(NalUnit& unit) const;

    // Raw block-by-block encryption; a short tail is encrypted from a zero-padded block and
    // cut back to its length, like the decoder's decryption.
    std::vector<uint8_t> encrypt_bytes(const uint8_t* data, size_t size) const;

private:
    void encrypt_block(uint8_t* out, const uint8_t* in) const;

    uint32_t type_ = 0;
    alignas(16) uint8_t key_ctx_[512] = {};
};

} // namespace svacwriter

#endif
