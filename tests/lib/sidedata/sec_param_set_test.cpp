// Security parameter sets through the decode call: keys, cipher objects, and encrypted
// streams that must reach the slice decoder and the record exactly like their clear twins.
#include "sidedata_fixture.h"

#include "sec_registry.h"
#include "svacwriter/unit_encryptor.h"

using namespace svacwriter;
using namespace sidedata_test;

namespace {

SliceHeader slice(uint32_t frame_num, uint32_t type, int32_t qp_delta = 0)
{
    SliceHeader sh;
    sh.frame_num = frame_num;
    sh.slice_type = type;
    sh.fixed_slice_qp = false;
    sh.slice_qp_delta = qp_delta;
    return sh;
}

NalUnit ext_unit(uint8_t plate_seed)
{
    BitWriter w;
    ExtTime t;
    t.hour = 9;
    t.has_date = true;
    t.year = 24;
    write_ext_time(w, t);
    ExtCarPlate p;
    p.plate = counting_array<16>(plate_seed);
    p.value_a = 0x00010000;
    write_ext_car_plate(w, p);
    return extension_unit(w);
}

// Units after the parameter sets: extension data and three pictures.
std::vector<NalUnit> body(const Sps &sps, const Pps &pps, uint32_t first_frame)
{
    return {ext_unit(static_cast<uint8_t>(first_frame)),
            slice_unit(slice(first_frame, kSliceI, -3), sps, pps, first_frame ? kNalSliceBase : kNalIdrBase),
            slice_unit(slice(first_frame + 1, kSliceP, 2), sps, pps, kNalSliceBase),
            slice_unit(slice(first_frame + 2, kSliceP), sps, pps, kNalSliceBase)};
}

Bytes key_of(size_t n)
{
    return counting(n, 0x31);
}

// Appends units, encrypting every one with enc when given.
void append(std::vector<NalUnit> &to, std::vector<NalUnit> units, const UnitEncryptor *enc)
{
    for (NalUnit &u : units) {
        if (enc) {
            EXPECT_TRUE(enc->encrypt(u)) << u.error;
        }
        to.push_back(std::move(u));
    }
}

SecParamSet encryption(uint32_t type)
{
    SecParamSet s;
    s.encryption_flag = true;
    s.encryption_type = type;
    return s;
}

struct Outcome {
    int32_t result;
    std::vector<SliceSeen> slices;
    Bytes record;
    int pictures;
};

Outcome run(const Bytes &stream, const Bytes &key)
{
    Decoder d;
    if (!key.empty())
        d.set_key(key);
    Outcome o;
    o.result = d.feed(stream);
    o.slices = d.slices;
    o.record = d.range(0, SVAC_EXT_RECORD_SIZE);
    o.pictures = d.pictures;
    return o;
}

TEST(EncryptedStream, DecodesLikeItsClearTwin)
{
    struct Case {
        const char *name;
        uint32_t type;
        size_t key_size;
    };
    const Case cases[] = {{"DES", kCipherDes, 8}, {"AES-128", kCipherAes, 16}, {"AES-192", kCipherAes, 24},
                          {"AES-256", kCipherAes, 32}};
    Sps sps;
    Pps pps;
    std::vector<NalUnit> clear_units = {sps_unit(sps), pps_unit(pps, sps)};
    append(clear_units, body(sps, pps, 0), nullptr);
    const Outcome clear = run(make_stream(clear_units), {});
    ASSERT_EQ(clear.result, 0);
    ASSERT_EQ(clear.slices.size(), 3u);
    ASSERT_GT(clear.pictures, 0);

    for (const Case &c : cases) {
        UnitEncryptor enc;
        ASSERT_TRUE(enc.set_key(c.type, key_of(c.key_size).data(), c.key_size));
        std::vector<NalUnit> units = {sps_unit(sps), pps_unit(pps, sps), sec_param_set_unit(encryption(c.type))};
        append(units, body(sps, pps, 0), &enc);
        const Bytes stream = make_stream(units);
        ASSERT_FALSE(stream.empty()) << c.name;
        const Outcome got = run(stream, key_of(c.key_size));
        EXPECT_EQ(got.result, 0) << c.name;
        EXPECT_TRUE(got.slices == clear.slices) << c.name;
        EXPECT_EQ(got.record, clear.record) << c.name;
        EXPECT_EQ(got.pictures, clear.pictures) << c.name;
        // With another key the same stream reaches the slice decoder as noise.
        Outcome wrong;
        printed([&] { wrong = run(stream, Bytes(c.key_size, 0x5A)); });
        EXPECT_FALSE(wrong.slices == clear.slices) << c.name;
    }
}

TEST(EncryptedStream, WithoutAKeyTheSetAnswersNoKey)
{
    for (bool authenticated : {false, true}) {
        Decoder d;
        SecParamSet s = encryption(kCipherAes);
        s.authentication_flag = authenticated;
        EXPECT_EQ(d.feed(make_stream({sec_param_set_unit(s)})), SVAC_ERR_NOKEY);
        EXPECT_EQ(d.ctx->stream_encrypted, 1);
        EXPECT_EQ(d.ctx->sec.authentication_flag, authenticated ? 1 : 0);
        EXPECT_EQ(d.ctx->sec.cipher, nullptr);
    }
}

TEST(EncryptedStream, ANewKeyTakesEffectForTheFollowingUnits)
{
    Sps sps;
    Pps pps;
    const Bytes first_key = key_of(16), second_key(16, 0xC3);
    UnitEncryptor first, second;
    ASSERT_TRUE(first.set_key(kCipherAes, first_key.data(), 16));
    ASSERT_TRUE(second.set_key(kCipherAes, second_key.data(), 16));

    std::vector<NalUnit> head = {sps_unit(sps), pps_unit(pps, sps), sec_param_set_unit(encryption(kCipherAes))};
    append(head, body(sps, pps, 0), &first);
    std::vector<NalUnit> tail;
    append(tail, body(sps, pps, 3), &second);
    std::vector<NalUnit> clear = {sps_unit(sps), pps_unit(pps, sps)};
    append(clear, body(sps, pps, 0), nullptr);
    append(clear, body(sps, pps, 3), nullptr);
    const Outcome want = run(make_stream(clear), {});

    Decoder d;
    d.set_key(first_key);
    ASSERT_EQ(d.feed(make_stream(head)), 0);
    d.set_key(second_key);
    ASSERT_EQ(d.feed(make_stream(tail)), 0);
    EXPECT_TRUE(d.slices == want.slices);
    EXPECT_EQ(d.range(0, SVAC_EXT_RECORD_SIZE), want.record);
}

TEST(EncryptedStream, UnitsWithoutTheEncryptionBitOrWithoutTheFlagStayAsTheyAre)
{
    Sps sps;
    Pps pps;
    std::vector<NalUnit> clear = {sps_unit(sps), pps_unit(pps, sps)};
    append(clear, body(sps, pps, 0), nullptr);
    const Outcome want = run(make_stream(clear), key_of(16));

    // Encryption on, but the units carry no encryption bit.
    std::vector<NalUnit> plain_units = {sps_unit(sps), pps_unit(pps, sps), sec_param_set_unit(encryption(kCipherAes))};
    append(plain_units, body(sps, pps, 0), nullptr);
    const Outcome a = run(make_stream(plain_units), key_of(16));
    EXPECT_TRUE(a.slices == want.slices);

    // Units with the encryption bit after a set that turns encryption off.
    std::vector<NalUnit> flagged = {sps_unit(sps), pps_unit(pps, sps), sec_param_set_unit(SecParamSet{})};
    append(flagged, body(sps, pps, 0), nullptr);
    for (NalUnit &u : flagged)
        if (u.header.nal_type != kNalSecurity)
            u.header.encryption_flag = true;
    const Outcome b = run(make_stream(flagged), key_of(16));
    EXPECT_TRUE(b.slices == want.slices);
    EXPECT_EQ(b.record, want.record);
}

TEST(SecurityParameterSet, CipherTypesAndKeys)
{
    struct Case {
        const char *name;
        uint32_t type;
        size_t key_size;
        std::string message;
        bool cipher;
    };
    const Case cases[] = {
        {"none", kCipherNone, 16, "unimplemented encryption type: 0\n", false},
        {"DES long key", kCipherDes, 16, "DES: key len 16 error\n", true},
        {"AES", kCipherAes, 16, "", true},
        {"AES 20-byte key", kCipherAes, 20, "AES: key len 20 error, must 16, 24 or 32 bytes\n", true},
        {"type 3", 3, 16, "", false},
        {"type 15", 15, 16, "", false},
    };
    for (const Case &c : cases) {
        Decoder d;
        d.set_key(key_of(c.key_size));
        const Bytes set = make_stream({sec_param_set_unit(encryption(c.type))});
        EXPECT_EQ(printed([&] { EXPECT_EQ(d.feed(set), 0) << c.name; }), c.message) << c.name;
        cipher_obj *const made = d.ctx->sec.cipher;
        EXPECT_EQ(made != nullptr, c.cipher) << c.name;
        // The same set again: the object stays, and is neither made nor keyed again, except
        // that a type without an object is tried again.
        const std::string again = printed([&] { EXPECT_EQ(d.feed(set), 0); });
        EXPECT_EQ(d.ctx->sec.cipher, made) << c.name;
        EXPECT_EQ(again, c.cipher ? "" : c.message) << c.name;
    }
}

TEST(SecurityParameterSet, DesKeyedFromTheFirstEightBytesOfALongerKey)
{
    Sps sps;
    Pps pps;
    const Bytes long_key = key_of(16);
    UnitEncryptor enc;
    ASSERT_TRUE(enc.set_key(kCipherDes, long_key.data(), 8));
    std::vector<NalUnit> units = {sps_unit(sps), pps_unit(pps, sps), sec_param_set_unit(encryption(kCipherDes))};
    append(units, body(sps, pps, 0), &enc);
    std::vector<NalUnit> clear = {sps_unit(sps), pps_unit(pps, sps)};
    append(clear, body(sps, pps, 0), nullptr);
    Outcome got;
    printed([&] { got = run(make_stream(units), long_key); });
    EXPECT_TRUE(got.slices == run(make_stream(clear), {}).slices);
}

TEST(SecurityParameterSet, ACipherTypeComesBackAfterAnUnsupportedOne)
{
    Sps sps;
    Pps pps;
    const Bytes key = key_of(16);
    UnitEncryptor enc;
    ASSERT_TRUE(enc.set_key(kCipherAes, key.data(), 16));
    std::vector<NalUnit> units = {sps_unit(sps), pps_unit(pps, sps), sec_param_set_unit(encryption(kCipherAes)),
                                  sec_param_set_unit(encryption(kCipherNone)),
                                  sec_param_set_unit(encryption(kCipherAes))};
    append(units, body(sps, pps, 0), &enc);
    std::vector<NalUnit> clear = {sps_unit(sps), pps_unit(pps, sps)};
    append(clear, body(sps, pps, 0), nullptr);
    Outcome got;
    printed([&] { got = run(make_stream(units), key); });
    EXPECT_EQ(got.result, 0);
    EXPECT_TRUE(got.slices == run(make_stream(clear), {}).slices);
}

TEST(SecurityParameterSet, AuthenticationMakesTwoHashObjects)
{
    Decoder d;
    SecParamSet s;
    s.authentication_flag = true;
    s.hash_type = 3;
    s.sign_type = 0;
    s.auth_flags = {true, false, true, true};
    const Bytes set = make_stream({sec_param_set_unit(s)});
    EXPECT_EQ(printed([&] { EXPECT_EQ(d.feed(set), 0); }), "unimplemented sign type: 0\n");
    ASSERT_NE(d.ctx->sec.hash, nullptr);
    ASSERT_NE(d.ctx->sec.hash2, nullptr);
    EXPECT_NE(d.ctx->sec.hash, d.ctx->sec.hash2);
    EXPECT_EQ(hash_size(d.ctx->sec.hash), 32);
    EXPECT_EQ(hash_size(d.ctx->sec.hash2), 32);
    EXPECT_EQ(d.ctx->sec.sign, nullptr);
    EXPECT_EQ(d.ctx->sec.auth_flags[2], 1);
    hash_obj *const first = d.ctx->sec.hash;
    EXPECT_EQ(printed([&] { EXPECT_EQ(d.feed(set), 0); }), "");
    EXPECT_EQ(d.ctx->sec.hash, first);

    // A sign type above 0 brings two values, each kept plus one.
    s.sign_type = 4;
    s.auth_values = {0, 254};
    EXPECT_EQ(printed([&] { EXPECT_EQ(d.feed(make_stream({sec_param_set_unit(s)})), 0); }), "");
    EXPECT_EQ(d.ctx->sec.auth_values[0], 1);
    EXPECT_EQ(d.ctx->sec.auth_values[1], 255);

    s.hash_type = 6;
    EXPECT_EQ(printed([&] { EXPECT_EQ(d.feed(make_stream({sec_param_set_unit(s)})), 0); }),
              "unimplemented hash type: 6\n");
}

TEST(SecurityParameterSet, SetsThatEndEarly)
{
    // Encryption on and the bits end after the flags: the type reads the stop bit as 8.
    {
        Decoder d;
        d.set_key(key_of(16));
        BitWriter w;
        w.put_bit(true);
        w.put_bit(false);
        const Bytes set = make_stream({finish_unit(nal_header(kNalSecurity), w)});
        int32_t result = -1;
        EXPECT_EQ(printed([&] { result = d.feed(set); }), "");
        EXPECT_EQ(result, 0);
        EXPECT_EQ(d.ctx->sec.encryption_type, 8);
        EXPECT_EQ(d.ctx->sec.cipher, nullptr);
    }
    // Authentication on and the bits end after the hash type: reads start past the end.
    {
        Decoder d;
        BitWriter w;
        w.put_bit(false);
        w.put_bit(true);
        w.put_bits(3, 4);
        const Bytes set = make_stream({finish_unit(nal_header(kNalSecurity), w)});
        int32_t result = 0;
        printed([&] { result = d.feed(set); });
        EXPECT_EQ(result, SVAC_ERR_TRUNCATED);
    }
}

} // namespace
