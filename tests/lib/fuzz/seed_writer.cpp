// Writes the seed streams of the decoder fuzz target into a folder: one file per stream, its
// first byte the layer mask and the key selector (fuzz_key.h).
#include <cstdio>
#include <string>
#include <vector>

#include "fuzz_key.h"
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
