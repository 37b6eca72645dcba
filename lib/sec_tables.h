// Constant tables of the stream-security ciphers and hashes, as their standards publish them.
#pragma once
#include <cstdint>

// DES (FIPS 46-3). Permutation entries name input bits, 1 = most significant.
extern const uint8_t des_ip[64];
extern const uint8_t des_fp[64];
extern const uint8_t des_e[48];
extern const uint8_t des_p[32];
extern const uint8_t des_pc1[56];
extern const uint8_t des_pc2[48];
extern const uint8_t des_shifts[16];
// S1..S8, each 4 rows of 16 columns.
extern const uint8_t des_sbox[8][64];
// The 4 weak keys, then the 6 pairs of semi-weak keys, with odd parity.
extern const uint8_t des_weak_keys[16][8];

// AES (FIPS 197).
extern const uint8_t aes_sbox[256];
extern const uint8_t aes_inv_sbox[256];
extern const uint8_t aes_rcon[10];

// MD5 (RFC 1321).
extern const uint32_t md5_iv[4];
extern const uint32_t md5_t[64];
extern const uint8_t md5_shift[4][4];

// SHA family (FIPS 180-4).
extern const uint32_t sha1_iv[5];
extern const uint32_t sha1_k[4];
extern const uint32_t sha224_iv[8];
extern const uint32_t sha256_iv[8];
extern const uint32_t sha256_k[64];
extern const uint64_t sha384_iv[8];
extern const uint64_t sha512_iv[8];
extern const uint64_t sha512_k[80];
