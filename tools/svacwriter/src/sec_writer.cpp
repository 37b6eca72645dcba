#include "svacwriter/sec_writer.h"

namespace svacwriter {

bool write_sec_param_set(BitWriter& w, const SecParamSet& s)
{
    w.put_bit(s.encryption_flag);
    w.put_bit(s.authentication_flag);
    if (s.encryption_flag)
        w.put_bits(s.encryption_type, 4);
    if (s.authentication_flag) {
        w.put_bits(s.hash_type, 4);
        for (bool f : s.auth_flags)
            w.put_bit(f);
        w.put_bits(s.sign_type, 4);
        if (s.sign_type > 0)
            for (uint32_t v : s.auth_values)
                w.put_bits(v, 8);
    }
    return w.ok();
}

NalUnit sec_param_set_unit(const SecParamSet& s, StartCode start_code)
{
    BitWriter w;
    write_sec_param_set(w, s);
    return finish_unit(nal_header(kNalSecurity), w, start_code);
}

} // namespace svacwriter
