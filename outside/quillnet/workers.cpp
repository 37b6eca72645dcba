#include "workers.h"

#include "state.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace quillnet {

namespace {

using Clock = std::chrono::steady_clock;
using packetfmt::Packet;

// Keeps the running-worker count while a worker thread lives.
struct WorkerCount {
    WorkerCount() { ++RunningWorkers(); }
    ~WorkerCount() { --RunningWorkers(); }
};

std::vector<size_t> BuildOrder(const Clip &clip, bool reverse)
{
    std::vector<size_t> order;
    const size_t n = clip.packets.size();
    if (!reverse) {
        order.reserve(n);
        for (size_t i = 0; i < n; ++i)
            order.push_back(i);
        return order;
    }
    // Groups of pictures from the last to the first, each in decoding order; no audio.
    std::vector<std::vector<size_t>> groups;
    for (size_t i = 0; i < n; ++i) {
        const Packet &p = clip.At(i);
        if (p.info.kind != packetfmt::kVideo)
            continue;
        if (p.info.key)
            groups.emplace_back();
        if (!groups.empty())
            groups.back().push_back(i);
    }
    for (auto g = groups.rbegin(); g != groups.rend(); ++g)
        order.insert(order.end(), g->begin(), g->end());
    return order;
}

size_t PositionAt(const Clip &clip, const std::vector<size_t> &order, int64_t ts, bool reverse)
{
    for (size_t i = 0; i < order.size(); ++i) {
        const Packet &p = clip.At(order[i]);
        if (!reverse && p.info.timestampMs >= ts)
            return i;
        if (reverse && p.info.key && p.info.timestampMs <= ts)
            return i;
    }
    return order.size();
}

size_t PositionAtBytes(const Clip &clip, const std::vector<size_t> &order, int64_t bytes)
{
    int64_t sum = 0;
    for (size_t i = 0; i < order.size(); ++i) {
        if (sum >= bytes)
            return i;
        sum += int64_t(clip.At(order[i]).bytes.size());
    }
    return order.size();
}

void RunTransfer(std::shared_ptr<Endpoint> ep, std::shared_ptr<const Clip> clip, TransferOptions opt)
{
    WorkerCount count;
    FILE *save = opt.saveFile.empty() ? nullptr : std::fopen(opt.saveFile.c_str(), "wb");
    const uint32_t total = uint32_t(std::min<uint64_t>(clip->totalBytes, 0xFFFFFFFFu));
    uint64_t done = 0;
    auto report = [&](int32_t value) {
        WithCallbacks(*ep, [&](Callbacks &cb) {
            if (opt.timePosition) {
                if (cb.timePosition)
                    cb.timePosition(ep->handle, total, value, 0, ep->record, cb.positionUser);
            } else if (cb.position) {
                cb.position(ep->handle, total, value, cb.positionUser);
            }
        });
    };
    TransferControl ctl = ep->Control();
    bool reverse = ctl.reverse;
    std::vector<size_t> order = BuildOrder(*clip, reverse);
    size_t pos = 0;
    unsigned generation = ctl.generation;
    auto baseWall = Clock::now();
    int64_t baseTs = order.empty() ? 0 : clip->At(order[0]).info.timestampMs;
    auto lastReport = Clock::now();
    auto nextDue = Clock::now();  // rate limit: when the next packet may go
    for (;;) {
        if (!ep->WaitWhilePaused())
            break;
        ctl = ep->Control();
        if (ctl.fail) {
            report(-2);
            break;
        }
        if (ctl.generation != generation) {
            const int64_t current = pos < order.size() ? clip->At(order[pos]).info.timestampMs
                                                       : (order.empty() ? 0 : clip->At(order.back()).info.timestampMs);
            if (ctl.reverse != reverse) {
                reverse = ctl.reverse;
                order = BuildOrder(*clip, reverse);
                pos = PositionAt(*clip, order, current, reverse);
            }
            if (ctl.seekMs != INT64_MIN || ctl.seekBytes >= 0) {
                pos = ctl.seekMs != INT64_MIN ? PositionAt(*clip, order, ctl.seekMs, reverse)
                                              : PositionAtBytes(*clip, order, ctl.seekBytes);
                ep->ChangeControl([](TransferControl &c) {
                    c.seekMs = INT64_MIN;
                    c.seekBytes = -1;
                });
                ctl = ep->Control();
            }
            generation = ctl.generation;
            baseWall = Clock::now();
            baseTs = pos < order.size() ? clip->At(order[pos]).info.timestampMs : 0;
        }
        if (pos >= order.size()) {
            report(-1);
            break;
        }
        const Packet &p = clip->At(order[pos]);
        if (opt.paced) {
            const double factor = std::ldexp(1.0, ctl.speedStep);
            const double ms = std::fabs(double(p.info.timestampMs - baseTs)) / factor;
            const auto due = baseWall + std::chrono::microseconds(int64_t(ms * 1000.0));
            if (Clock::now() < due) {
                if (!ep->SleepUntil(due, generation))
                    break;
                continue;
            }
        }
        if (opt.bytesPerSecond > 0 && Clock::now() < nextDue) {
            if (!ep->SleepUntil(nextDue, generation))
                break;
            continue;
        }
        int taken = -1;
        WithCallbacks(*ep, [&](Callbacks &cb) {
            taken = cb.data ? cb.data(ep->handle, 0, p.bytes.data(), uint32_t(p.bytes.size()), cb.dataUser) : 1;
        });
        if (taken < 0)
            break;
        if (taken == 0) {
            if (!ep->SleepUntil(Clock::now() + std::chrono::milliseconds(10), generation))
                break;
            continue;
        }
        if (save)
            std::fwrite(p.bytes.data(), 1, p.bytes.size(), save);
        done += p.bytes.size();
        ep->flux += long(p.bytes.size());
        if (opt.bytesPerSecond > 0)
            nextDue = std::max(nextDue, Clock::now()) +
                      std::chrono::microseconds(int64_t(p.bytes.size()) * 1000000 / opt.bytesPerSecond);
        ++pos;
        if (Clock::now() - lastReport >= std::chrono::milliseconds(200)) {
            report(int32_t(std::min<uint64_t>(done, 0x7FFFFFFF)));
            lastReport = Clock::now();
        }
    }
    if (save)
        std::fclose(save);
}

void RunLive(std::shared_ptr<Endpoint> ep, std::shared_ptr<const PacketList> packets)
{
    WorkerCount count;
    const PacketList &list = *packets;
    const int64_t first = list.front().info.timestampMs;
    int64_t interval = 40;
    for (const Packet &p : list) {
        if (p.info.kind == packetfmt::kVideo && p.info.frameRate > 0) {
            interval = 1000 / p.info.frameRate;
            break;
        }
    }
    const int64_t duration = std::max<int64_t>(list.back().info.timestampMs - first + interval, 1);
    const unsigned generation = ep->Control().generation;
    // The device starts sending, with its first key frame, once the client listens.
    while (!ep->Current().real) {
        if (!ep->SleepUntil(Clock::now() + std::chrono::milliseconds(5), generation))
            return;
    }
    const auto startWall = Clock::now();
    const int64_t startLocal = packetfmt::LocalNowMs();
    uint32_t videoSeq = 0, audioSeq = 0;
    std::vector<uint8_t> bytes;
    for (int64_t cycle = 0;; ++cycle) {
        for (const Packet &p : list) {
            const int64_t offset = cycle * duration + (p.info.timestampMs - first);
            if (!ep->SleepUntil(startWall + std::chrono::milliseconds(offset), generation))
                return;
            bytes = p.bytes;
            const bool video = p.info.kind == packetfmt::kVideo;
            packetfmt::RetimePacket(bytes.data(), bytes.size(), startLocal + offset, video ? videoSeq++ : audioSeq++);
            const bool open = WithCallbacks(*ep, [&](Callbacks &cb) {
                if (cb.real)
                    cb.real(ep->handle, 0, bytes.data(), uint32_t(bytes.size()), cb.dataUser);
            });
            if (!open)
                return;
            ep->flux += long(bytes.size());
        }
    }
}

std::vector<uint8_t> ToneBlock(int64_t ts, uint32_t seq, double hz)
{
    int16_t samples[320];
    for (int i = 0; i < 320; ++i)
        samples[i] = int16_t(3000.0 * std::sin(2.0 * M_PI * hz * double(seq * 320 + i) / 8000.0));
    packetfmt::PacketInfo info;
    info.kind = packetfmt::kAudio;
    info.encoding = packetfmt::kEncPcm16;
    info.key = true;
    info.channels = 1;
    info.sampleRate = 8000;
    info.sequence = seq;
    info.timestampMs = ts;
    std::vector<uint8_t> out;
    packetfmt::AppendPacket(info, samples, sizeof samples, out);
    return out;
}

void RunTalk(std::shared_ptr<Endpoint> ep, std::shared_ptr<const PacketList> audio)
{
    WorkerCount count;
    const auto start = Clock::now();
    const unsigned generation = ep->Control().generation;
    size_t next = 0;
    for (uint32_t seq = 0;; ++seq) {
        if (!ep->SleepUntil(start + std::chrono::milliseconds(40 * int64_t(seq)), generation))
            return;
        std::vector<uint8_t> device;
        if (audio && !audio->empty()) {
            device = (*audio)[next].bytes;
            next = (next + 1) % audio->size();
        } else {
            device = ToneBlock(packetfmt::LocalNowMs(), seq, 440.0);
        }
        bool capture = false;
        {
            std::lock_guard<std::mutex> lock(State::Get().talkMutex);
            capture = State::Get().capture;
        }
        const std::vector<uint8_t> local = capture ? ToneBlock(packetfmt::LocalNowMs(), seq, 660.0)
                                                   : std::vector<uint8_t>();
        const bool open = WithCallbacks(*ep, [&](Callbacks &cb) {
            if (!cb.talk)
                return;
            cb.talk(ep->handle, reinterpret_cast<const char *>(device.data()), uint32_t(device.size()), 1, cb.dataUser);
            if (!local.empty())
                cb.talk(ep->handle, reinterpret_cast<const char *>(local.data()), uint32_t(local.size()), 0, cb.dataUser);
        });
        if (!open)
            return;
    }
}

}  // namespace

void StartLive(const std::shared_ptr<Endpoint> &ep, std::shared_ptr<const PacketList> packets)
{
    ep->StartWorker([ep, packets] { RunLive(ep, packets); });
}

void StartTransfer(const std::shared_ptr<Endpoint> &ep, std::shared_ptr<const Clip> clip,
                   const TransferOptions &options)
{
    ep->StartWorker([ep, clip, options] { RunTransfer(ep, clip, options); });
}

void StartTalk(const std::shared_ptr<Endpoint> &ep, std::shared_ptr<const PacketList> audio)
{
    ep->StartWorker([ep, audio] { RunTalk(ep, audio); });
}

}  // namespace quillnet
