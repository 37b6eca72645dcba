// Writes the seed streams of the decoder fuzz target into a folder: one file per stream, its
// first byte the layer mask and the key selector (fuzz_key.h).
#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "fuzz_key.h"
#include "svacwriter/aec_mb_writer.h"
#include "svacwriter/svac_writer.h"
#include "svacwriter/unit_encryptor.h"

using namespace svacwriter;

namespace {

struct Seed {
    std::string name;
    int mask;   // first byte: layer mask, key selector
    std::vector<NalUnit> units;
};

SliceHeader slice(uint32_t frame_num, uint32_t type, uint32_t first_mb = 0)
{
    SliceHeader sh;
    sh.frame_num = frame_num;
    sh.slice_type = type;
    sh.first_mb_in_slice = first_mb;
    return sh;
}

// One extension unit with every kind of item.
NalUnit all_items_unit()
{
    BitWriter w;
    write_ext_type1(w, {{1, 2, 3, 4}});
    write_ext_type2(w, {{5, 6}, {}});
    write_ext_type3(w, {{1, 2, 3, 4}});
    ExtTime t;
    t.hour = 12;
    t.has_date = true;
    t.year = 24;
    t.month = 2;
    t.day = 29;
    write_ext_time(w, t);
    ExtPerimeter p;
    p.width = 10;
    p.values = {1, 2, 3, 1023};
    p.zones.resize(3);
    for (ExtZone &z : p.zones)
        z.fields = {4, 5, 6, 7, 8, 1, 9, 0, 3, 1, 2};
    write_ext_perimeter(w, p);
    ExtIdCard card;
    card.value = 0x1234;
    write_ext_id_card(w, card);
    ExtTypedBlock block;
    block.subtype = 0x21;
    block.data = {1, 2, 3, 4, 5};
    write_ext_typed_block(w, block);
    write_ext_car_plate(w, ExtCarPlate{});
    ExtMacWifi macs;
    macs.entries.resize(2);
    write_ext_mac_wifi(w, macs);
    return extension_unit(w);
}

// A stream whose units after the security parameter set are encrypted; the first byte of the
// seed selects the key of that size.
std::vector<NalUnit> secure_units(uint32_t cipher, uint32_t key_size, bool authenticated)
{
    Sps sps;
    Pps pps;
    SecParamSet set;
    set.encryption_flag = true;
    set.encryption_type = cipher;
    set.authentication_flag = authenticated;
    set.sign_type = authenticated ? 1 : 0;
    set.auth_values = {7, 9};
    std::vector<NalUnit> units = {sps_unit(sps), pps_unit(pps, sps), sec_param_set_unit(set)};
    std::vector<NalUnit> plain = {all_items_unit(), slice_unit(slice(0, kSliceI), sps, pps, kNalIdrBase),
                                  slice_unit(slice(1, kSliceP), sps, pps, kNalSliceBase)};
    UnitEncryptor enc;
    enc.set_key(cipher, fuzz_key, key_size);
    for (NalUnit &u : plain) {
        if (authenticated) {
            u.header.authentication_flag = true;
            u.header.authentication_byte = 0x5A;
        }
        if (!enc.encrypt(u) && u.error.empty())
            u.error = "no key";
        units.push_back(std::move(u));
    }
    return units;
}

// A picture of 3x2 coded macroblocks in one slice, in Exp-Golomb or arithmetic mode: the
// kinds of macroblock the picture type allows (I: I_8X8, I_4X4; P: the four partitionings,
// skipped, intra; B: direct, one-direction, symmetric, two-partition, B_8X8, skipped, intra).
NalUnit coded_slice(const Sps &sps, const Pps &pps, uint32_t nal, uint32_t frame_num, uint32_t type)
{
    const uint32_t fmt = sps.chroma_format;
    const uint32_t all = fmt == 1 ? 63u : fmt == 2 ? 255u : 15u;
    const AecPictureKind kind = type == kSliceI ? AecPictureKind::kI : type == kSliceP ? AecPictureKind::kP
                                                                                       : AecPictureKind::kB;
    BitWriter w;
    SliceHeader sh = slice(frame_num, type);
    write_slice_header(w, sh, sps, pps, nal);
    if (pps.aec_flag)
        w.align_zero();
    MbLayerParams ip;
    ip.chroma_format = fmt;
    ip.type_offset = type == kSliceI ? 0 : type == kSliceP ? 4 : 23;
    PLayerParams pp;
    pp.chroma_format = fmt;
    AecPictureState state(sps.mb_width, sps.mb_height);
    AecSliceWriter aec(state, ip, kind, false);
    IntraModeMap map(sps.mb_width, sps.mb_height);
    IntraMb inter_modes;
    for (int32_t &m : inter_modes.luma_modes)
        m = 2;
    const CoefList few = {{3, 1}, {-1, 2}, {1, 4}};
    uint32_t run = 0;
    for (uint32_t a = 0; a < sps.mb_width * sps.mb_height; ++a) {
        const uint32_t x = a % sps.mb_width, y = a / sps.mb_width;
        const int32_t avail = (x > 0 ? 1 : 0) | (y > 0 ? 2 : 0);
        const uint32_t pick = (a + frame_num) % 6;
        if (kind != AecPictureKind::kI && pick == 4) {
            ++run;
            if (pps.aec_flag)
                aec.skip(a, avail);
            map.store(x, y, inter_modes);
            continue;
        }
        if (!pps.aec_flag && kind != AecPictureKind::kI)
            write_skip_run(w, run);
        run = 0;
        if (kind == AecPictureKind::kI || pick == 5) {
            IntraMb mb;
            mb.kind = a % 2 ? IntraKind::k4x4 : IntraKind::k8x8;
            for (int i = 0; i < (mb.kind == IntraKind::k8x8 ? 4 : 16); ++i)
                mb.luma_modes[i] = map.predict(x, y, avail & 1, avail & 2, mb.kind, mb.luma_modes, i);
            mb.cbp = all & 0x1Du;
            for (uint8_t &c : mb.cbp4x4)
                c = 5;
            for (CoefList &l : mb.luma)
                l = few;
            for (CoefList &c : mb.chroma)
                c = few;
            if (pps.aec_flag)
                aec.intra(a, avail, mb, map);
            else
                write_intra_mb(w, mb, ip, map, x, y, avail & 1, avail & 2);
            continue;
        }
        if (kind == AecPictureKind::kP) {
            PMb mb;
            mb.kind = static_cast<PKind>(2 + pick % 4);
            for (int i = 0; i < 4; ++i) {
                mb.ref_idx[i] = 0;   // coded, one reference so far
                mb.mvd[i][0] = 5 - 3 * i;
                mb.mvd[i][1] = 2 * i - 3;
            }
            mb.cbp = all & 0x23u;
            for (CoefList &l : mb.luma)
                l = few;
            for (CoefList &c : mb.chroma)
                c = few;
            if (pps.aec_flag)
                aec.p(a, avail, mb);
            else
                write_p_mb(w, mb, pp);
        } else {
            // No block coded backward right of a symmetric one (see the arithmetic writer).
            static const uint32_t kTypes[4] = {29, 9, 10, 16};
            BMb mb;
            mb.type = kTypes[pick];
            const uint32_t sub[4] = {0, 1, 2, 3};
            std::copy(sub, sub + 4, mb.sub);
            for (int i = 0; i < 8; ++i) {
                mb.mvd[i][0] = 4 - i;
                mb.mvd[i][1] = 3 * i - 9;
            }
            mb.cbp = all & 0x16u;
            for (CoefList &l : mb.luma)
                l = few;
            for (CoefList &c : mb.chroma)
                c = few;
            if (pps.aec_flag)
                aec.b(a, avail, mb);
            else
                write_b_mb(w, mb, pp);
        }
        map.store(x, y, inter_modes);
    }
    if (pps.aec_flag)
        aec.finish(w);
    else if (run > 0)
        write_skip_run(w, run);
    return finish_unit(nal_header(nal), w);
}

// I0, P2, B1 of coded macroblocks.
std::vector<NalUnit> coded_units(const Sps &sps, const Pps &pps)
{
    return {sps_unit(sps), pps_unit(pps, sps), coded_slice(sps, pps, kNalIdrBase, 0, kSliceI),
            coded_slice(sps, pps, kNalSliceBase, 2, kSliceP), coded_slice(sps, pps, kNalSliceBase, 1, kSliceB)};
}

std::vector<Seed> seeds()
{
    std::vector<Seed> out;
    {
        Sps sps;
        Pps pps;
        out.push_back({"ipb", 0, {sps_unit(sps), pps_unit(pps, sps),
                                  slice_unit(slice(0, kSliceI), sps, pps, kNalIdrBase),
                                  slice_unit(slice(2, kSliceP), sps, pps, kNalSliceBase, StartCode::kThreeByte),
                                  slice_unit(slice(1, kSliceB), sps, pps, kNalSliceBase)}});
    }
    {
        Sps sps;
        sps.mb_width = 3;
        sps.mb_height = 2;
        Pps pps;
        out.push_back({"ipb_coded", 0, coded_units(sps, pps)});
        pps.aec_flag = true;
        out.push_back({"ipb_arithmetic", 0, coded_units(sps, pps)});
        sps.chroma_format = 2;
        sps.bit_depth_luma_minus8 = sps.bit_depth_chroma_minus8 = 2;
        pps.pic_init_qp = 40;
        out.push_back({"ipb_arithmetic_422_10bit", 0, coded_units(sps, pps)});
        pps.aec_flag = false;
        out.push_back({"ipb_coded_422_10bit", 0, coded_units(sps, pps)});
    }
    {
        Sps sps;
        sps.roi_flag = true;
        sps.mb_width = sps.mb_height = 10;
        Pps pps;
        pps.rois = {{12, 35}, {0, 22}};
        pps.non_roi_skip_flag = true;
        pps.pic_init_qp_for_roi = 20;
        out.push_back({"roi", 0, {sps_unit(sps), pps_unit(pps, sps),
                                  slice_unit(slice(0, kSliceI, 12), sps, pps, kNalIdrBase),
                                  slice_unit(slice(0, kSliceI, 0), sps, pps, kNalSliceBase),
                                  slice_unit(slice(0, kSliceI, 3), sps, pps, kNalSliceBase),
                                  slice_unit(slice(1, kSliceP, 12), sps, pps, kNalSliceBase)}});
    }
    {
        Sps sps;
        sps.svc_flag = sps.roi_flag = true;
        sps.mb_width = 5;
        sps.mb_height = 4;
        Pps pps;
        pps.rois = {{0, 6}};
        pps.roi_layer_flag = true;
        for (int mask : {0, 1, 2}) {
            out.push_back({"svc" + std::to_string(mask), mask,
                           {sps_unit(sps), pps_unit(pps, sps),
                            slice_unit(slice(0, kSliceI), sps, pps, kNalIdrBase),
                            slice_unit(slice(0, kSliceI), sps, pps, kNalIdrEnh),
                            slice_unit(slice(0, kSliceI, 6), sps, pps, kNalIdrEnh),
                            slice_unit(slice(1, kSliceP), sps, pps, kNalSliceBase),
                            slice_unit(slice(1, kSliceP), sps, pps, kNalSliceEnh)}});
        }
    }
    {
        Sps sps;
        sps.bit_depth_luma_minus8 = sps.bit_depth_chroma_minus8 = 2;
        sps.chroma_format = 2;
        sps.frame_only_flag = false;
        sps.vui_flag = sps.timing_info_flag = sps.hrd_flag = true;
        sps.num_units_in_tick = 0;
        sps.time_scale = 0x300;
        Pps pps;
        pps.pic_init_qp = 40;
        pps.fixed_pic_qp = true;
        SliceHeader field = slice(0, kSliceI);
        field.field_pic_flag = field.bottom_field_flag = true;
        SliceHeader b = slice(1, kSliceB);
        b.field_pic_flag = true;
        NalUnit authenticated = sps_unit(sps);
        authenticated.header.authentication_flag = true;
        authenticated.header.authentication_byte = 0x03;
        out.push_back({"deep", 3, {authenticated, pps_unit(pps, sps), slice_unit(field, sps, pps, kNalIdrBase),
                                   slice_unit(slice(2, kSliceP), sps, pps, kNalSliceBase),
                                   slice_unit(b, sps, pps, kNalSliceBase)}});
    }
    {
        Sps sps;
        sps.chroma_format = 0;
        Pps pps;
        pps.loop_filter_disable_flag = true;
        SliceHeader sh = slice(0, kSliceI);
        sh.fixed_slice_qp = false;
        sh.slice_qp_delta = -4;
        BitWriter ext;
        ext.put_bits(128, 8);
        out.push_back({"mono", 0, {sps_unit(sps), pps_unit(pps, sps), finish_unit(nal_header(kNalExtension), ext),
                                   slice_unit(sh, sps, pps, kNalIdrBase)}});
    }
    {
        Sps sps;
        Pps pps;
        out.push_back({"ext_items", 0, {sps_unit(sps), pps_unit(pps, sps), all_items_unit(),
                                        slice_unit(slice(0, kSliceI), sps, pps, kNalIdrBase)}});
        // Key selectors in bits 2..3 of the first byte: 1 an 8-byte key, 2 16 bytes, 3 32 bytes.
        out.push_back({"secure_des", 1 << 2, secure_units(kCipherDes, 8, false)});
        out.push_back({"secure_aes", 2 << 2, secure_units(kCipherAes, 16, true)});
        out.push_back({"secure_aes256", 3 << 2, secure_units(kCipherAes, 32, false)});
    }
    return out;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <folder>\n", argv[0]);
        return 2;
    }
    for (const Seed &seed : seeds()) {
        std::vector<uint8_t> stream = make_stream(seed.units);
        if (stream.empty()) {
            std::fprintf(stderr, "seed %s: a unit could not be written\n", seed.name.c_str());
            return 1;
        }
        const std::string path = std::string(argv[1]) + "/" + seed.name;
        std::FILE *f = std::fopen(path.c_str(), "wb");
        if (!f)
            return 1;
        const unsigned char mask = static_cast<unsigned char>(seed.mask);
        const bool ok = std::fwrite(&mask, 1, 1, f) == 1 &&
                        std::fwrite(stream.data(), 1, stream.size(), f) == stream.size();
        if (std::fclose(f) != 0 || !ok)
            return 1;
    }
    return 0;
}
