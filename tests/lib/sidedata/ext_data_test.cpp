// Extension units written by the stream writer and read back from the caller's record at
// its byte offsets.
#include "sidedata_fixture.h"

#include <functional>

using namespace svacwriter;
using namespace sidedata_test;

namespace {

// A stream holding one extension unit made of the items the function writes.
template <typename F>
Bytes ext_stream(F &&items)
{
    BitWriter w;
    items(w);
    return make_stream({extension_unit(w)});
}

ExtTime plain_time()
{
    ExtTime t;
    t.hour = 7;
    return t;
}

// The record outside the listed byte ranges is as the fixture filled it, apart from the
// four words every call clears.
bool only_written(const Decoder &d, std::vector<std::pair<int32_t, int32_t>> ranges)
{
    for (int32_t cleared : {0, 4024, 4668, 8312})
        ranges.push_back({cleared, cleared + 4});
    for (int32_t i = 0; i < SVAC_EXT_RECORD_SIZE + 1024; ++i) {
        bool listed = false;
        for (const auto &r : ranges)
            listed = listed || (i >= r.first && i < r.second);
        if (!listed && reinterpret_cast<const uint8_t *>(&d.record)[i] != 0xAB)
            return false;
    }
    return true;
}

TEST(ExtensionUnit, StopByteAloneLeavesTheRecord)
{
    Decoder d;
    BitWriter w;
    EXPECT_EQ(d.feed(make_stream({extension_unit(w)})), 0);
    EXPECT_EQ(d.word(0), 0);
    EXPECT_TRUE(only_written(d, {}));
}

TEST(ExtensionUnit, TimeWithAndWithoutDate)
{
    struct Case {
        bool has_date;
        uint32_t year, month, day;
        int32_t want_year, want_month, want_day;
    };
    const Case cases[] = {{false, 18, 5, 9, 0, 0, 0}, {true, 18, 5, 9, 2018, 5, 9}, {true, 127, 12, 31, 2127, 12, 31}};
    for (const Case &c : cases) {
        Decoder d;
        ExtTime t;
        t.head_a = 0xFF;
        t.head_c = 0xFFFF;
        t.hour = 23;
        t.minute = 59;
        t.second = 58;
        t.sub_second = 0x3FFF;
        t.has_date = c.has_date;
        t.year = c.year;
        t.month = c.month;
        t.day = c.day;
        t.trailing = 0xA5;
        ASSERT_EQ(d.feed(ext_stream([&](BitWriter &w) { write_ext_time(w, t); })), 0);
        EXPECT_EQ(d.word(0), 0x2);
        const int32_t want[8] = {c.want_year, c.want_month, c.want_day, 23, 59, 58, 0x3FFF, 0xA5};
        for (int i = 0; i < 8; ++i)
            EXPECT_EQ(d.word(4 + 4 * i), want[i]) << "word " << i << " date " << c.has_date;
        EXPECT_TRUE(only_written(d, {{4, 36}}));
    }
}

TEST(ExtensionUnit, CarPlatesFillEntriesInOrder)
{
    Decoder d;
    ExtCarPlate a, b;
    a.plate = counting_array<16>(1);
    a.value_a = 0x01020304;
    a.value_b = 0xFFFFFFFE;
    a.tail = counting_array<8>(0x40);
    b.plate = counting_array<16>(0x80);
    ASSERT_EQ(d.feed(ext_stream([&](BitWriter &w) {
                  write_ext_car_plate(w, a);
                  write_ext_car_plate(w, b);
              })),
              0);
    EXPECT_EQ(d.word(0), 0x20);
    EXPECT_EQ(d.word(4024), 2);
    EXPECT_EQ(d.range(4028, 16), Bytes(a.plate.begin(), a.plate.end()));
    EXPECT_EQ(d.word(4028 + 16), 0x01020304);
    EXPECT_EQ(d.word(4028 + 20), -2);
    EXPECT_EQ(d.range(4028 + 24, 8), Bytes(a.tail.begin(), a.tail.end()));
    EXPECT_EQ(d.range(4060, 16), Bytes(b.plate.begin(), b.plate.end()));
    EXPECT_TRUE(only_written(d, {{4028, 4028 + 64}}));
}

TEST(ExtensionUnit, TwentyFirstPlateIsRefusedAndItsLengthByteReadAsId)
{
    Decoder d;
    ExtCarPlate p;
    std::string out = printed([&] {
        EXPECT_EQ(d.feed(ext_stream([&](BitWriter &w) {
                      for (int i = 0; i < 20; ++i)
                          write_ext_car_plate(w, p);
                      ExtCarPlate last;
                      last.length = 128;   // read as the end of the unit
                      write_ext_car_plate(w, last);
                      write_ext_time(w, plain_time());
                  })),
                  0);
    });
    EXPECT_EQ(out, "error! car id larger than 20\n");
    EXPECT_EQ(d.word(4024), 20);
    EXPECT_EQ(d.word(0), 0x20);   // the time item after it was never reached
}

TEST(ExtensionUnit, PlateSubtypeAndLengthRules)
{
    struct Case {
        const char *name;
        ExtCarPlate plate;
        std::string message;
        bool entry_written;
    };
    ExtCarPlate wrong_subtype;
    wrong_subtype.subtype = 4;
    wrong_subtype.body = false;
    ExtCarPlate longer;
    longer.length = 40;
    longer.extra = Bytes(8, 0xFF);   // an unknown id if it were read
    ExtCarPlate shorter;
    shorter.length = 30;
    const Case cases[] = {
        {"subtype 4", wrong_subtype, "Car plate do not support the subtype!\n", false},
        {"length 40", longer, "", true},
        {"length 30", shorter, "Error! car plate length is wrong!\n ", true},
    };
    for (const Case &c : cases) {
        Decoder d;
        const std::string out = printed([&] {
            EXPECT_EQ(d.feed(ext_stream([&](BitWriter &w) {
                          write_ext_car_plate(w, c.plate);
                          write_ext_time(w, plain_time());
                      })),
                      0)
                << c.name;
        });
        EXPECT_EQ(out, c.message) << c.name;
        EXPECT_EQ(d.word(4024), 1) << c.name;
        // The walk goes on right after what the item consumed: the time item is read.
        EXPECT_EQ(d.word(0), c.entry_written ? 0x22 : 0x2) << c.name;
        EXPECT_EQ(d.word(4 + 12), 7) << c.name;
        EXPECT_EQ(untouched(d.bytes(), 4028, 4060), !c.entry_written) << c.name;
    }
}

TEST(ExtensionUnit, IdCardEntryLayout)
{
    Decoder d;
    ExtIdCard c;
    c.field_a = counting_array<19>(1);
    c.field_b = counting_array<30>(0x20);
    c.value = 0xBEEF;
    c.field_c = counting_array<24>(0x40);
    c.field_d = counting_array<70>(0x60);
    c.field_e = counting_array<19>(0xC0);
    ASSERT_EQ(d.feed(ext_stream([&](BitWriter &w) { write_ext_id_card(w, c); })), 0);
    EXPECT_EQ(d.word(4668), 1);
    EXPECT_EQ(d.word(0), 0);   // ID cards set no flag
    const int32_t e = 4672;
    EXPECT_EQ(d.range(e, 19), Bytes(c.field_a.begin(), c.field_a.end()));
    EXPECT_EQ(d.range(e + 19, 30), Bytes(c.field_b.begin(), c.field_b.end()));
    EXPECT_EQ(d.half(e + 50), 0xBEEF);
    EXPECT_EQ(d.range(e + 52, 24), Bytes(c.field_c.begin(), c.field_c.end()));
    EXPECT_EQ(d.range(e + 92, 70), Bytes(c.field_d.begin(), c.field_d.end()));
    EXPECT_EQ(d.range(e + 162, 19), Bytes(c.field_e.begin(), c.field_e.end()));
    EXPECT_TRUE(only_written(d, {{e, e + 49}, {e + 50, e + 76}, {e + 92, e + 181}}));
}

TEST(ExtensionUnit, IdCardRefusals)
{
    // Twenty-one cards: the last is refused and its length byte (128) ends the unit.
    {
        Decoder d;
        std::string out = printed([&] {
            EXPECT_EQ(d.feed(ext_stream([&](BitWriter &w) {
                          for (int i = 0; i < 20; ++i)
                              write_ext_id_card(w, ExtIdCard{});
                          ExtIdCard last;
                          last.length = 128;
                          write_ext_id_card(w, last);
                      })),
                      0);
        });
        EXPECT_EQ(out, "error! ID_CARD_NUM larger than 20\n");
        EXPECT_EQ(d.word(4668), 20);
    }
    // Another subtype: counted, not written, no message; the next byte is an id.
    {
        Decoder d;
        ExtIdCard c;
        c.subtype = 1;
        c.body = false;
        std::string out = printed([&] {
            EXPECT_EQ(d.feed(ext_stream([&](BitWriter &w) {
                          write_ext_id_card(w, c);
                          write_ext_time(w, plain_time());
                      })),
                      0);
        });
        EXPECT_EQ(out, "");
        EXPECT_EQ(d.word(4668), 1);
        EXPECT_EQ(d.word(0), 0x2);
        EXPECT_TRUE(untouched(d.bytes(), 4672, 4672 + 182));
    }
    // A length shorter than the entry.
    {
        Decoder d;
        ExtIdCard c;
        c.length = 100;
        std::string out = printed([&] {
            EXPECT_EQ(d.feed(ext_stream([&](BitWriter &w) { write_ext_id_card(w, c); })), 0);
        });
        EXPECT_EQ(out, "Error! ID card length is wrong!\n ");
    }
}

TEST(ExtensionUnit, MacWifiEntriesAndRefusals)
{
    ExtMacWifi two;
    two.subtype = 2;
    two.entries = {{counting_array<6>(0x10), 0x1234}, {counting_array<6>(0x20), 0xFFFF}};
    {
        Decoder d;
        ASSERT_EQ(d.feed(ext_stream([&](BitWriter &w) { write_ext_mac_wifi(w, two); })), 0);
        EXPECT_EQ(d.word(8312), 2);
        EXPECT_EQ(d.range(8316, 6), Bytes(two.entries[0].address.begin(), two.entries[0].address.end()));
        EXPECT_EQ(d.half(8316 + 6), 0x1234);
        EXPECT_EQ(d.range(8324, 6), Bytes(two.entries[1].address.begin(), two.entries[1].address.end()));
        EXPECT_EQ(d.half(8324 + 6), 0xFFFF);
        EXPECT_EQ(d.word(0), 0);
        EXPECT_TRUE(only_written(d, {{8316, 8332}}));
    }
    // A later item in the same call writes from entry 0 again.
    {
        Decoder d;
        ExtMacWifi one;
        one.entries = {{counting_array<6>(0x70), 7}};
        ASSERT_EQ(d.feed(ext_stream([&](BitWriter &w) {
                      write_ext_mac_wifi(w, two);
                      write_ext_mac_wifi(w, one);
                  })),
                  0);
        EXPECT_EQ(d.word(8312), 1);
        EXPECT_EQ(d.range(8316, 6), Bytes(one.entries[0].address.begin(), one.entries[0].address.end()));
        EXPECT_EQ(d.half(8324 + 6), 0xFFFF);
    }
    struct Case {
        const char *name;
        ExtMacWifi item;
        std::string message;
    };
    ExtMacWifi zero_length;
    zero_length.length = 0;
    ExtMacWifi bad_subtype;
    bad_subtype.subtype = 4;
    const Case cases[] = {
        {"length 0", zero_length, "mac wifi num larger than max_mac_wifi_num!\n"},
        {"subtype 4", bad_subtype, "mac wifi do not support the subtype!\n"},
    };
    for (const Case &c : cases) {
        Decoder d;
        const std::string out = printed([&] {
            d.feed(ext_stream([&](BitWriter &w) { write_ext_mac_wifi(w, c.item); }));
        });
        EXPECT_EQ(out, c.message) << c.name;
        EXPECT_TRUE(untouched(d.bytes(), 8316, 9116)) << c.name;
        EXPECT_EQ(d.word(8312), 0) << c.name;
    }
}

TEST(ExtensionUnit, MacWifiBytesBeyondWholeEntriesAreSkipped)
{
    Decoder d;
    ExtMacWifi odd;
    odd.length = 12;   // (12 - 1) / 8 = 1 entry, then 3 bytes that hold nothing
    odd.entries = {{counting_array<6>(1), 1}};
    odd.extra = Bytes(3, 0xFF);
    std::string out = printed([&] {
        EXPECT_EQ(d.feed(ext_stream([&](BitWriter &w) {
                      write_ext_mac_wifi(w, odd);
                      write_ext_time(w, plain_time());
                  })),
                  0);
    });
    EXPECT_EQ(out, "");
    EXPECT_EQ(d.word(8312), 1);
    EXPECT_EQ(d.word(0), 0x2);
}

TEST(ExtensionUnit, TypedBlockSlotsAndFlags)
{
    struct Case {
        uint32_t subtype;
        int32_t slot;   // -1: not stored
        int32_t flags;
    };
    const Case cases[] = {{0x20, 3248, 0x1001}, {0x21, 3506, 0x1002}, {0x22, 3764, 0x1004}, {0x23, -1, 0}};
    for (const Case &c : cases) {
        Decoder d;
        ExtTypedBlock b;
        b.subtype = c.subtype;
        b.head = {1, 2, 3, 4};
        b.value_a = 0x1234;
        b.value_b = 0xABCD;
        b.mid = {7, 8, 9};
        b.data = {0x55, 0x66, 0x77};
        b.length = 20;            // four bytes beyond the data
        b.extra = Bytes(4, 0xEE);
        ASSERT_EQ(d.feed(ext_stream([&](BitWriter &w) {
                      write_ext_typed_block(w, b);
                      write_ext_car_plate(w, ExtCarPlate{});
                  })),
                  0);
        EXPECT_EQ(d.word(4024), 1) << "the item after the block is read in step";
        EXPECT_EQ(d.word(0), c.flags | 0x20);
        if (c.slot < 0) {
            EXPECT_TRUE(untouched(d.bytes(), 3248, 4022));
            continue;
        }
        Bytes want(258, 0);
        const uint8_t head[] = {static_cast<uint8_t>(c.subtype), 1, 2, 3, 4, 0, 0x34, 0x12, 0xCD, 0xAB, 3, 7, 8, 9,
                                0x55, 0x66, 0x77};
        std::copy(std::begin(head), std::end(head), want.begin());
        EXPECT_EQ(d.range(c.slot, 258), want);
        EXPECT_TRUE(only_written(d, {{c.slot, c.slot + 258}, {4028, 4060}}));
    }
}

TEST(ExtensionUnit, TypedBlockLongerThanItsSlotIsCut)
{
    Decoder d;
    ExtTypedBlock b;
    b.subtype = 0x22;   // the last slot, just in front of the plate count
    b.data = counting(255, 1);
    b.length = 255;   // shorter than the block: accepted as it stands
    ASSERT_EQ(d.feed(ext_stream([&](BitWriter &w) {
                  write_ext_typed_block(w, b);
                  write_ext_time(w, plain_time());
              })),
              0);
    EXPECT_EQ(d.bytes()[3764 + 10], 244);
    EXPECT_EQ(d.range(3764 + 14, 244), Bytes(b.data.begin(), b.data.begin() + 244));
    EXPECT_TRUE(untouched(d.bytes(), 4022, 4024));
    EXPECT_EQ(d.word(4024), 0);
    EXPECT_EQ(d.word(0), 0x1004 | 0x2);   // the time item after the whole block is read
}

ExtPerimeter perimeter(int zones)
{
    ExtPerimeter p;
    p.head_a = 0x11;
    p.head_b = 0x22;
    p.mode = 5;
    p.width = 12;
    p.values = {1, 0xFFF, 300, 4000};
    p.tail = 9;
    for (int i = 0; i < zones; ++i) {
        ExtZone z;
        z.fields = {static_cast<uint32_t>(i), 0xABC, 17, 1000, 0, 1, 31, 0, 7, 1, 3};
        p.zones.push_back(z);
    }
    return p;
}

TEST(ExtensionUnit, PerimeterGuardHeadAndZones)
{
    Decoder d;
    const ExtPerimeter p = perimeter(3);
    ASSERT_EQ(d.feed(ext_stream([&](BitWriter &w) {
                  write_ext_perimeter(w, p);
                  write_ext_time(w, plain_time());
              })),
              0);
    EXPECT_EQ(d.bytes()[9116], 0x11);
    EXPECT_EQ(d.bytes()[9117], 0x22);
    EXPECT_EQ(d.word(9120), 5);
    EXPECT_EQ(d.word(9124), 12);
    EXPECT_EQ(d.word(9128), 1);
    EXPECT_EQ(d.word(9132), 0xFFF);
    EXPECT_EQ(d.word(9136), 300);
    EXPECT_EQ(d.word(9140), 4000);
    EXPECT_EQ(d.bytes()[9144], 9);
    EXPECT_EQ(d.word(9148), 3);
    for (int i = 0; i < 3; ++i)
        for (int f = 0; f < 11; ++f)
            EXPECT_EQ(static_cast<uint32_t>(d.word(9152 + 44 * i + 4 * f)), p.zones[i].fields[f]) << i << "/" << f;
    EXPECT_EQ(d.word(0), 0x2);   // the padding to whole words was skipped
    EXPECT_TRUE(only_written(d, {{4, 36}, {9116, 9118}, {9120, 9145}, {9148, 9152 + 3 * 44}}));
}

TEST(ExtensionUnit, PerimeterGuardLengthRule)
{
    // Two words more than the item holds are skipped; one word fewer prints the message.
    for (int delta : {2, -1}) {
        Decoder d;
        ExtPerimeter p = perimeter(1);
        BitWriter probe;
        write_ext_perimeter(probe, p);
        const uint32_t words = static_cast<uint32_t>((probe.bit_count() - 8) / 32);
        p.length = words + delta;
        int32_t result = 0;
        const std::string out = printed([&] {
            result = d.feed(ext_stream([&](BitWriter &w) {
                write_ext_perimeter(w, p);
                if (delta > 0) {
                    w.put_bits(0xFFFFFFFF, 32), w.put_bits(0xFFFFFFFF, 32);
                    write_ext_time(w, plain_time());
                }
            }));
        });
        if (delta > 0) {
            EXPECT_EQ(result, 0);
        }
        EXPECT_EQ(out, delta < 0 ? "Error! Perimeter guard length is wrong!\n " : "") << delta;
        EXPECT_EQ(d.word(0), delta > 0 ? 0x2 : 0) << delta;
    }
}

TEST(ExtensionUnit, PerimeterZonesBeyondTheRecordAreDropped)
{
    Decoder d;
    const ExtPerimeter p = perimeter(SVAC_EXT_MAX_PERIMETER_ZONES + 6);
    EXPECT_EQ(d.feed(ext_stream([&](BitWriter &w) { write_ext_perimeter(w, p); })), SVAC_ERR_TRUNCATED);
    EXPECT_EQ(d.word(9148), SVAC_EXT_MAX_PERIMETER_ZONES);
    const int32_t last = 9152 + 44 * (SVAC_EXT_MAX_PERIMETER_ZONES - 1);
    EXPECT_EQ(d.word(last), SVAC_EXT_MAX_PERIMETER_ZONES - 1);
    EXPECT_TRUE(untouched(reinterpret_cast<const uint8_t *>(&d.record), SVAC_EXT_RECORD_SIZE,
                          SVAC_EXT_RECORD_SIZE + 1024));

    // A huge count in a short unit: nothing past the record either.
    Decoder e;
    ExtPerimeter huge = perimeter(0);
    huge.zone_count = 65000;
    EXPECT_EQ(e.feed(ext_stream([&](BitWriter &w) { write_ext_perimeter(w, huge); })), SVAC_ERR_TRUNCATED);
    EXPECT_EQ(e.word(9148), SVAC_EXT_MAX_PERIMETER_ZONES);
    EXPECT_TRUE(untouched(reinterpret_cast<const uint8_t *>(&e.record), SVAC_EXT_RECORD_SIZE,
                          SVAC_EXT_RECORD_SIZE + 1024));
}

TEST(ExtensionUnit, DiscardedItemsAndUnknownIds)
{
    Decoder d;
    ASSERT_EQ(d.feed(ext_stream([&](BitWriter &w) {
                  write_ext_type1(w, {{1, 2, 3, 4}, {0, 0, 0, 0}});
                  write_ext_type2(w, {{9, 9, 9}, {}, {0x80}});
                  write_ext_type3(w, {{1, 2, 3, 4}});
                  write_ext_time(w, plain_time());
              })),
              0);
    EXPECT_EQ(d.word(0), 0x2);
    EXPECT_TRUE(only_written(d, {{4, 36}}));

    // An unknown id ends the unit without a message; what follows is not read.
    Decoder e;
    const std::string out = printed([&] {
        EXPECT_EQ(e.feed(ext_stream([&](BitWriter &w) {
                      w.put_bits(200, 8);
                      write_ext_time(w, plain_time());
                  })),
                  0);
    });
    EXPECT_EQ(out, "");
    EXPECT_EQ(e.word(0), 0);
}

TEST(ExtensionUnit, UnitCutInsideAnItemAnswersTruncated)
{
    using Writer = std::function<void(BitWriter &)>;
    const std::pair<const char *, Writer> items[] = {
        {"time", [](BitWriter &w) { write_ext_time(w, plain_time()); }},
        {"plate", [](BitWriter &w) { write_ext_car_plate(w, ExtCarPlate{}); }},
        {"id card", [](BitWriter &w) { write_ext_id_card(w, ExtIdCard{}); }},
        {"mac", [](BitWriter &w) { write_ext_mac_wifi(w, ExtMacWifi{{}, 0, {ExtMac{}, ExtMac{}}, {}}); }},
        {"block", [](BitWriter &w) { write_ext_typed_block(w, ExtTypedBlock{{}, 0x20, {}, 0, 0, {}, Bytes(40, 1), {}}); }},
        {"perimeter", [](BitWriter &w) { write_ext_perimeter(w, perimeter(4)); }},
        {"type 2", [](BitWriter &w) { write_ext_type2(w, {Bytes(30, 1)}); }},
    };
    for (const auto &item : items) {
        BitWriter whole;
        item.second(whole);
        Bytes cut = whole.bytes();
        cut.resize(cut.size() / 2);
        for (uint8_t &b : cut)
            b = b ? b : 1;   // no zero bytes: the cut must not end early by itself
        BitWriter w;
        w.put_bytes(cut.data(), cut.size());
        Decoder d;
        printed([&] { EXPECT_EQ(d.feed(make_stream({extension_unit(w)})), SVAC_ERR_TRUNCATED) << item.first; });
        EXPECT_TRUE(untouched(reinterpret_cast<const uint8_t *>(&d.record), SVAC_EXT_RECORD_SIZE,
                              SVAC_EXT_RECORD_SIZE + 1024));
    }
}

TEST(ExtensionUnit, RecordAcrossUnitsAndCalls)
{
    Decoder d;
    ExtCarPlate p;
    const Bytes one = ext_stream([&](BitWriter &w) { write_ext_car_plate(w, p); });
    Bytes two = one;
    two.insert(two.end(), one.begin(), one.end());
    ASSERT_EQ(d.feed(two), 0);
    EXPECT_EQ(d.word(4024), 2);   // entries accumulate over the units of one call
    ASSERT_EQ(d.feed(ext_stream([&](BitWriter &w) { write_ext_time(w, plain_time()); })), 0);
    EXPECT_EQ(d.word(4024), 0);   // and start again with the next call
    EXPECT_EQ(d.word(0), 0x2);
    // Without a record the units are walked all the same.
    EXPECT_EQ(d.feed(two, false), 0);
    EXPECT_EQ(d.word(0), 0x2);
}

} // namespace
