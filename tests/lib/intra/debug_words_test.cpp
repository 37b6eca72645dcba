// The exported debug words: the word a host may read follows the switch of the picture type,
// and instances decoding at once on separate threads share it without a data race.
#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "intra_fixture.h"
#include "intra_stream.h"

namespace {

intra_test::Built small_stream(uint32_t seed)
{
    intra_test::StreamConfig cfg;
    cfg.mb_width = 3;
    cfg.mb_height = 2;
    cfg.pictures = 3;
    cfg.seed = seed;
    return intra_test::build_stream(cfg);
}

// Restores the switches a test changed.
struct SavedSwitches {
    int32_t i = dump_i, p = dump_p, b = dump_b;
    ~SavedSwitches()
    {
        dump_i = i;
        dump_p = p;
        dump_b = b;
    }
};

TEST(DebugWords, DumpInfoFollowsTheSwitchOfThePictureType)
{
    SavedSwitches saved;
    const intra_test::Built built = small_stream(5);
    ASSERT_FALSE(built.bytes.empty());
    struct Case { int32_t i, p, b, dump_info; };
    const Case cases[] = {
        {0, 1, 1, 0},
        {7, 0, 0, 1},   // intra pictures only: the P and B switches play no part
        {-1, 1, 1, 1},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.i);
        dump_i = c.i;
        dump_p = c.p;
        dump_b = c.b;
        DUMP_INFO = 1 - c.dump_info;
        const intra_test::Decoded got = intra_test::decode_all(built.bytes);
        ASSERT_EQ(got.result, 0);
        EXPECT_EQ(got.pictures[0].size(), built.expected[0].size()) << "the switches change no decoding";
        EXPECT_EQ(DUMP_INFO, c.dump_info);
    }
}

TEST(DebugWords, InstancesDecodingAtOnceDoNotRaceOnTheExportedWord)
{
    ZQ_SVAC_Dec_Init(0);
    const intra_test::Built streams[] = {small_stream(11), small_stream(12)};
    std::vector<std::thread> threads;
    size_t pictures[2] = {0, 0};
    for (int t = 0; t < 2; ++t)
        threads.emplace_back([&, t] {
            void *h = ZQ_SVAC_Dec_Open();
            for (int round = 0; round < 4 && h; ++round)
                pictures[t] += intra_test::decode_on(h, streams[t].bytes).pictures[0].size();
            ZQ_SVAC_Dec_Close(h);
        });
    for (std::thread &t : threads)
        t.join();
    for (int t = 0; t < 2; ++t)
        EXPECT_EQ(pictures[t], 4 * streams[t].expected[0].size()) << "instance " << t;
    EXPECT_EQ(DUMP_INFO, dump_i != 0 ? 1 : 0);
}

} // namespace
