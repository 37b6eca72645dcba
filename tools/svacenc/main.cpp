// svacenc: encodes raw 8-bit 4:2:0 pictures (I420, one after another) into an SVAC stream.
//
//   svacenc --size 704x576 [--gop 25] [--qp 30 | --bits 40000] [--aec] [--range 16]
//           [--aes KEYHEX | --des KEYHEX] [--frames N] [--recon out.yuv] in.yuv out.svac
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "svacenc/encoder.h"

namespace {

int usage()
{
    std::fprintf(stderr,
                 "usage: svacenc --size WxH [--gop N] [--qp N | --bits N] [--aec] [--range N]\n"
                 "               [--aes KEYHEX | --des KEYHEX] [--frames N] [--recon FILE] in.yuv out.svac\n");
    return 2;
}

bool parse_hex(const char *text, std::vector<uint8_t> &out)
{
    const size_t n = std::strlen(text);
    if (n == 0 || n % 2)
        return false;
    out.clear();
    for (size_t i = 0; i < n; i += 2) {
        char byte[3] = {text[i], text[i + 1], 0};
        char *end = nullptr;
        const long v = std::strtol(byte, &end, 16);
        if (*end)
            return false;
        out.push_back(uint8_t(v));
    }
    return true;
}

bool parse_int(const char *text, int *out)
{
    char *end = nullptr;
    const long v = std::strtol(text, &end, 10);
    if (!*text || *end || v < 0 || v > 1 << 30)
        return false;
    *out = int(v);
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    svacenc::Config config;
    int frames = -1;
    const char *recon_path = nullptr;
    const char *paths[2] = {};
    int npaths = 0;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const bool has_value = i + 1 < argc;
        if (a == "--size" && has_value) {
            if (std::sscanf(argv[++i], "%dx%d", &config.width, &config.height) != 2)
                return usage();
        } else if (a == "--gop" && has_value) {
            if (!parse_int(argv[++i], &config.gop))
                return usage();
        } else if (a == "--qp" && has_value) {
            if (!parse_int(argv[++i], &config.qp))
                return usage();
        } else if (a == "--bits" && has_value) {
            if (!parse_int(argv[++i], &config.target_bits))
                return usage();
        } else if (a == "--range" && has_value) {
            if (!parse_int(argv[++i], &config.search_range))
                return usage();
        } else if (a == "--frames" && has_value) {
            if (!parse_int(argv[++i], &frames))
                return usage();
        } else if ((a == "--aes" || a == "--des") && has_value) {
            config.cipher = a == "--aes" ? 2 : 1;
            if (!parse_hex(argv[++i], config.key))
                return usage();
        } else if (a == "--aec") {
            config.entropy = svacenc::Entropy::kArithmetic;
        } else if (a == "--recon" && has_value) {
            recon_path = argv[++i];
        } else if (!a.empty() && a[0] != '-' && npaths < 2) {
            paths[npaths++] = argv[i];
        } else {
            return usage();
        }
    }
    if (npaths != 2 || config.width <= 0)
        return usage();

    svacenc::Encoder encoder(config);
    if (!encoder.ok()) {
        std::fprintf(stderr, "svacenc: %s\n", encoder.error().c_str());
        return 2;
    }
    FILE *in = std::fopen(paths[0], "rb");
    FILE *out = std::fopen(paths[1], "wb");
    FILE *recon = recon_path ? std::fopen(recon_path, "wb") : nullptr;
    if (!in || !out || (recon_path && !recon)) {
        std::fprintf(stderr, "svacenc: cannot open %s\n", !in ? paths[0] : !out ? paths[1] : recon_path);
        return 1;
    }
    svacenc::Yuv picture;
    picture.allocate(config.width, config.height);
    uint64_t bytes = 0;
    int count = 0;
    double seconds = 0;
    bool failed = false;
    while (frames < 0 || count < frames) {
        if (std::fread(picture.data.data(), 1, picture.data.size(), in) != picture.data.size())
            break;
        svacenc::Coded coded;
        const auto start = std::chrono::steady_clock::now();
        if (!encoder.encode(picture, &coded)) {
            std::fprintf(stderr, "svacenc: picture %d: %s\n", count, encoder.error().c_str());
            failed = true;
            break;
        }
        seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        std::fwrite(coded.stream.data(), 1, coded.stream.size(), out);
        if (recon) {
            const svacenc::Yuv &r = encoder.reconstruction();
            std::fwrite(r.data.data(), 1, r.data.size(), recon);
        }
        bytes += coded.stream.size();
        ++count;
    }
    std::fclose(in);
    const bool write_failed = std::fclose(out) != 0 || (recon && std::fclose(recon) != 0);
    if (count > 0)
        std::printf("svacenc: %d pictures %dx%d in %.2f s (%.1f pictures/s), %.1f kbit per picture\n", count,
                    config.width, config.height, seconds, seconds > 0 ? count / seconds : 0.0,
                    double(bytes) * 8 / 1000 / count);
    return failed || write_failed ? 1 : 0;
}
