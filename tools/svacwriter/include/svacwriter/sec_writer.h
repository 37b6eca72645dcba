// Security parameter set of the SVAC stream writer (NAL type 9).
#ifndef SVACWRITER_SEC_WRITER_H
#define SVACWRITER_SEC_WRITER_H

#include <array>
#include <cstdint>

#include "svacwriter/bit_writer.h"
#include "svacwriter/nal_writer.h"

namespace svacwriter {

enum CipherType : uint32_t {
    kCipherNone = 0,
    kCipherDes = 1,
    kCipherAes = 2,
};

struct SecParamSet {
    bool encryption_flag = false;
    bool authentication_flag = false;
    uint32_t encryption_type = kCipherAes;  // u(4), with encryption_flag
    uint32_t hash_type = 3;                 // u(4), with authentication_flag, like the rest
    std::array<bool, 4> auth_flags{};
    uint32_t sign_type = 0;                 // u(4)
    std::array<uint32_t, 2> auth_values{};  // u(8) each, when sign_type > 0
};

bool write_sec_param_set(BitWriter& w, const SecParamSet& s);
NalUnit sec_param_set_unit(const SecParamSet& s, StartCode start_code = StartCode::kFourByte);

} // namespace svacwriter

#endif
