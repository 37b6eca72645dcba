#include "svacwriter/unit_encryptor.h"

#include <cstring>

#include "sec_aes.h"
#include "sec_des.h"

namespace svacwriter {

static_assert(sizeof(des_ctx) <= 512 && sizeof(aes_ctx) <= 512, "key contexts fit the encryptor");

UnitEncryptor::UnitEncryptor() = default;

UnitEncryptor::~UnitEncryptor()
{
    std::memset(key_ctx_, 0, sizeof key_ctx_);
}

bool UnitEncryptor::set_key(uint32_t cipher_type, const uint8_t* key, size_t size)
{
    type_ = 0;
    std::memset(key_ctx_, 0, sizeof key_ctx_);
    if (!key)
        return false;
    if (cipher_type == 1 && size == 8) {
        des_set_key(reinterpret_cast<des_ctx*>(key_ctx_), key, 8);
    } else if (cipher_type == 2 && (size == 16 || size == 24 || size == 32)) {
        aes_set_key(reinterpret_cast<aes_ctx*>(key_ctx_), key, static_cast<int32_t>(size));
    } else {
        return false;
    }
    type_ = cipher_type;
    return true;
}

size_t UnitEncryptor::block_size() const
{
    return type_ == 1 ? 8 : type_ == 2 ? 16 : 0;
}

void UnitEncryptor::encrypt_block(uint8_t* out, const uint8_t* in) const
{
    if (type_ == 1)
        des_encrypt(reinterpret_cast<const des_ctx*>(key_ctx_), out, in);
    else
        aes_encrypt(reinterpret_cast<const aes_ctx*>(key_ctx_), out, in);
}

std::vector<uint8_t> UnitEncryptor::encrypt_bytes(const uint8_t* data, size_t size) const
{
    const size_t b = block_size();
    if (!b)
        return {};
    std::vector<uint8_t> out(size);
    uint8_t in_block[16], out_block[16];
    for (size_t at = 0; at < size; at += b) {
        const size_t n = size - at < b ? size - at : b;
        std::memset(in_block, 0, sizeof in_block);
        std::memcpy(in_block, data + at, n);
        encrypt_block(out_block, in_block);
        std::memcpy(out.data() + at, out_block, n);
    }
    return out;
}

bool UnitEncryptor::encrypt(NalUnit& unit) const
{
    const size_t b = block_size();
    if (!b || !unit.error.empty())
        return false;
    std::vector<uint8_t> plain = unit.payload;
    plain.resize((plain.size() + b - 1) / b * b, 0);
    std::vector<uint8_t> cipher = encrypt_bytes(plain.data(), plain.size());
    if (!cipher.empty() && cipher.back() == 0) {
        plain.resize(plain.size() + b, 0);
        cipher = encrypt_bytes(plain.data(), plain.size());
        if (cipher.back() == 0) {
            unit.error = "encryptor: ciphertext ends in a zero byte";
            return false;
        }
    }
    unit.payload = std::move(cipher);
    unit.header.encryption_flag = true;
    return true;
}

} // namespace svacwriter
