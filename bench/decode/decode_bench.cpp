// Decoding benchmark: macroblocks per second and CPU time per picture of one decoder instance
// (the decoding thread, plus the loop-filter worker where it is used).
//
// pravenna_decode_bench [options]
//   --content KIND                     intra-low|intra-high|ipp-low|ipp-high (default intra-high):
//                                      intra only or I+P, made by the test-side encoder
//   --source FILE                      raw I420 1920x1088 pictures to encode (default: a
//                                      built-in moving picture)
//   --writer                           the stream writer's random-syntax stream of the kind
//   --stream FILE                      decode an SVAC elementary stream file instead
//   --pictures N                       pictures of a made stream (default 30)
//   --rounds N                         timed decodes of the whole stream (default 3)
//   --frames N                         stop after the first N pictures (a process's start-up
//                                      cost, measured with N = 1)
//   --portable                         portable kernels only (cpu flags 0)
//   --filter inline|worker             loop filter on the decoding thread, or on the worker
//                                      thread, for every picture (default: by picture size)
//   --save FILE                        write the stream that is decoded, then go on
//   --yuv FILE                         write the decoded pictures (I420), then go on
// Machine-readable lines: "mix ..." for a made stream (what it is made of), and last
// "result <content> <macroblocks> <best seconds> <cpu seconds> <pictures>".
#include <sys/resource.h>
#include <time.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "bench_streams.h"
#include "lf_worker.h"
#include "svacdec.h"

namespace {

struct Options {
    bench::Content content = bench::Content::kIntraHigh;
    std::string stream_file, source_file, save_file, yuv_file;
    bool writer = false;
    uint32_t pictures = 30;
    int rounds = 3;
    uint32_t frames = 0;      // 0: all
    bool portable = false;
    std::string filter;
};

bool parse(int argc, char **argv, Options *o)
{
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const bool has_value = i + 1 < argc;
        if (a == "--portable")
            o->portable = true;
        else if (a == "--content" && has_value) {
            if (!bench::parse_content(argv[++i], &o->content))
                return false;
        } else if (a == "--writer")
            o->writer = true;
        else if (a == "--source" && has_value)
            o->source_file = argv[++i];
        else if (a == "--stream" && has_value)
            o->stream_file = argv[++i];
        else if (a == "--save" && has_value)
            o->save_file = argv[++i];
        else if (a == "--yuv" && has_value)
            o->yuv_file = argv[++i];
        else if (a == "--pictures" && has_value)
            o->pictures = static_cast<uint32_t>(std::atoi(argv[++i]));
        else if (a == "--filter" && has_value) {
            o->filter = argv[++i];
            if (o->filter != "inline" && o->filter != "worker")
                return false;
        } else if (a == "--frames" && has_value)
            o->frames = static_cast<uint32_t>(std::atoi(argv[++i]));
        else if (a == "--rounds" && has_value)
            o->rounds = std::atoi(argv[++i]);
        else
            return false;
    }
    return o->pictures > 0 && o->rounds > 0;
}

double cpu_seconds()
{
    timespec ts;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return ts.tv_sec + ts.tv_nsec * 1e-9;
}

long context_switches()
{
    rusage u;
    getrusage(RUSAGE_SELF, &u);
    return u.ru_nvcsw + u.ru_nivcsw;
}

void write_picture(std::FILE *f, const output_frame_rec &rec)
{
    for (int p = 0; p < 3; ++p) {
        const int w = p ? rec.width / 2 : rec.width, h = p ? rec.height / 2 : rec.height;
        for (int y = 0; y < h; ++y)
            std::fwrite(rec.plane[p] + static_cast<size_t>(y) * rec.stride[p], 1, static_cast<size_t>(w), f);
    }
}

struct Run {
    uint32_t pictures = 0;
    uint64_t macroblocks = 0;
    double seconds = 0, cpu = 0;
    long switches = 0;
};

Run decode(const std::vector<uint8_t> &stream, std::FILE *yuv, uint32_t frames)
{
    Run run;
    std::vector<uint8_t> ext(SVAC_EXT_RECORD_SIZE);
    void *h = ZQ_SVAC_Dec_Open();
    if (!h)
        return run;
    output_frame_rec rec;
    auto take = [&] {
        while (ZQ_SVACDEC_ZQ_SVAC_get_output_frame(h, &rec) == 0) {
            ++run.pictures;
            run.macroblocks += static_cast<uint64_t>(rec.width / 16) * static_cast<uint64_t>((rec.height + 15) / 16);
            if (yuv && rec.bit_depth == 8 && rec.chroma_format == 1)
                write_picture(yuv, rec);
            ZQ_SVACDEC_ZQ_SVAC_release_output_frame(h, &rec);
        }
    };
    const long switches0 = context_switches();
    const double cpu0 = cpu_seconds();
    const auto start = std::chrono::steady_clock::now();
    size_t off = 0;
    while (off < stream.size() && (frames == 0 || run.pictures < frames)) {
        decode_input in{stream.data() + off, static_cast<int32_t>(stream.size() - off), 0};
        const int32_t r = ZQ_SVAC_Dec_Decode(h, &in, reinterpret_cast<extension_data_record *>(ext.data()));
        take();
        if (r <= 0) {
            if (r < 0)
                std::fprintf(stderr, "decode error %d\n", r);
            break;
        }
        off += static_cast<size_t>(r);
    }
    while ((frames == 0 || run.pictures < frames) && ZQ_SVAC_Get_LastFrame(h, 0) == 1)
        take();
    run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    run.cpu = cpu_seconds() - cpu0;
    run.switches = context_switches() - switches0;
    ZQ_SVAC_Dec_Close(h);
    return run;
}

} // namespace

int main(int argc, char **argv)
{
    Options o;
    if (!parse(argc, argv, &o)) {
        std::fprintf(stderr, "usage: %s [--content intra-low|intra-high|ipp-low|ipp-high [--source FILE | "
                             "--writer] | --stream FILE] [--pictures N] [--rounds N] [--portable] [--save FILE] "
                             "[--yuv FILE] [--frames N] [--filter inline|worker]\n", argv[0]);
        return 2;
    }
    std::vector<uint8_t> stream;
    std::string name;
    if (!o.stream_file.empty()) {
        // Read in one piece: byte-wise reading of a large file costs a process start-up
        // of about 10 ns a byte.
        std::ifstream in(o.stream_file, std::ios::binary | std::ios::ate);
        const std::streamoff size = in ? static_cast<std::streamoff>(in.tellg()) : 0;
        stream.resize(size > 0 ? static_cast<size_t>(size) : 0);
        in.seekg(0);
        if (!stream.empty() && !in.read(reinterpret_cast<char *>(stream.data()), size))
            stream.clear();
        name = "file";
    } else if (o.writer) {
        bench::Mix mix;
        stream = bench::make_stream(o.content, o.pictures, &mix);
        bench::print_mix(mix);
        name = std::string("writer-") + bench::content_info(o.content).name;
    } else {
        const std::vector<svacenc::Yuv> pictures = o.source_file.empty()
                                                       ? bench::moving_pictures(o.pictures)
                                                       : bench::read_pictures(o.source_file, o.pictures);
        if (pictures.empty()) {
            std::fprintf(stderr, "no pictures in %s\n", o.source_file.c_str());
            return 1;
        }
        bench::Mix mix;
        stream = bench::encode_stream(o.content, pictures, &mix);
        bench::print_mix(mix);
        name = bench::content_info(o.content).name;
    }
    if (stream.empty()) {
        std::fprintf(stderr, "no stream\n");
        return 1;
    }
    if (!o.save_file.empty()) {
        std::ofstream out(o.save_file, std::ios::binary);
        out.write(reinterpret_cast<const char *>(stream.data()), static_cast<std::streamsize>(stream.size()));
    }
    if (!o.filter.empty())
        lf_worker_min_mbs = o.filter == "inline" ? INT32_MAX : 0;
    const uint32_t flags = o.portable ? 0 : ZQ_SVAC_Dec_GetCPUCaps();
    ZQ_SVAC_Dec_Init(flags);

    if (!o.yuv_file.empty()) {
        std::FILE *f = std::fopen(o.yuv_file.c_str(), "wb");
        if (!f)
            return 1;
        decode(stream, f, o.frames);
        std::fclose(f);
    }
    Run best;
    double cpu_total = 0;
    for (int round = 0; round < o.rounds; ++round) {
        const Run r = decode(stream, nullptr, o.frames);
        if (r.pictures == 0)
            return 1;
        std::printf("round %d: %u pictures in %.3f s (cpu %.3f s): %.0f macroblocks/s, %.2f ms cpu and %.1f context "
                    "switches per picture\n", round + 1, r.pictures, r.seconds, r.cpu, r.macroblocks / r.seconds,
                    1e3 * r.cpu / r.pictures, double(r.switches) / r.pictures);
        if (round == 0 || r.seconds < best.seconds)
            best = r;
        cpu_total += r.cpu;
    }
    std::printf("stream: %s, %u pictures, %zu bytes, %.1f bits per macroblock, cpu flags 0x%x\n", name.c_str(),
                best.pictures, stream.size(), 8.0 * stream.size() / best.macroblocks, flags);
    std::printf("best: %.0f macroblocks/s, %.2f ms cpu per picture (mean)\n", best.macroblocks / best.seconds,
                1e3 * cpu_total / o.rounds / best.pictures);
    std::printf("result %s %llu %.6f %.6f %u\n", name.c_str(), static_cast<unsigned long long>(best.macroblocks),
                best.seconds, cpu_total / o.rounds, best.pictures);
    return 0;
}
