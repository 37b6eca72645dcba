// The port's thread: demultiplexes the source buffer, decodes, paces and shows.
#include "port.h"

#include "scale_core.h"

#include <algorithm>

namespace play {

namespace {

constexpr size_t kMaxQueued = 16;     // frames waiting to be shown
constexpr size_t kMaxGop = 250;       // reverse play: longest group of pictures held
constexpr size_t kMaxBatch = 64;      // packets taken out of the demultiplexer at once
constexpr int64_t kMaxGapMs = 10000;  // a larger step in time starts a new time line

PLAY_DEMUX_INFO DemuxInfo(const packetfmt::PacketInfo &info)
{
    PLAY_DEMUX_INFO d{};
    d.type = info.kind;
    d.keyFrame = info.key ? 1 : 0;
    d.encodeType = info.encoding;
    d.width = info.width;
    d.height = info.height;
    d.sequence = info.sequence;
    d.frameRate = info.frameRate;
    d.channels = info.channels;
    d.sampleRate = info.sampleRate;
    d.timestampMs = info.timestampMs;
    return d;
}

PicturePtr DecodeLazy(const Frame &frame)
{
    if (frame.picture)
        return frame.picture;
    if (frame.info.encoding == packetfmt::kEncI420)
        return DecodeI420(frame.payload.data(), frame.payload.size(), frame.info.width, frame.info.height);
    return DrawTestPicture(frame.payload.data(), frame.payload.size());
}

// The part of a picture a region shows: its rectangle (right and bottom inclusive) when it
// lies inside the picture, else the whole picture.
PLAY_RECT Crop(const PLAY_RECT &r, int width, int height)
{
    if (r.left >= 0 && r.top >= 0 && r.right > r.left && r.bottom > r.top && r.right < width && r.bottom < height)
        return r;
    return PLAY_RECT{0, 0, width - 1, height - 1};
}

}  // namespace

void Port::Run(uint64_t generation)
{
    std::unique_lock<std::mutex> lk(m_mutex);
    while (m_workerGeneration == generation) {
        if (DemuxStep(lk, generation))
            continue;
        if (m_workerGeneration != generation)
            break;
        TimePoint due{};
        bool hasDue = false;
        if (ShowStep(lk, due, hasDue))
            continue;
        if (m_workerGeneration != generation)
            break;
        m_settledEpoch = m_epoch;
        m_done.notify_all();
        if (hasDue && !Clock::Manual())
            m_wake.wait_until(lk, due);
        else
            m_wake.wait(lk);
    }
}

void Port::AccountSkipped()
{
    const uint64_t skipped = m_reader.SkippedBytes();
    m_stats.skippedBytes += int64_t(skipped - m_readerSkipped);
    m_readerSkipped = skipped;
}

void Port::FlushGop()
{
    for (auto it = m_gop.rbegin(); it != m_gop.rend(); ++it)
        m_queue.push_back(std::move(*it));
    m_gop.clear();
}

void Port::Enqueue(Frame &&frame)
{
    if (!m_reverse) {
        FlushGop();
        m_queue.push_back(std::move(frame));
        return;
    }
    if ((frame.info.key && !m_gop.empty()) || m_gop.size() >= kMaxGop)
        FlushGop();
    m_gop.push_back(std::move(frame));
}

// Takes whole packets out of the source buffer and hands them to the demux, data and
// recording consumers, then queues the video for showing. Packets stay counted in the
// buffer values until they are queued, so the counts never pass through 0 early.
bool Port::DemuxStep(std::unique_lock<std::mutex> &lk, uint64_t generation)
{
    const size_t queued = m_queue.size() + size_t(m_inflightVideo);
    if (queued >= kMaxQueued)
        return false;
    const size_t room = std::min(kMaxQueued - queued, kMaxBatch);
    std::vector<packetfmt::Packet> packets;
    packetfmt::Packet packet;
    size_t video = 0, audio = 0;
    while (video < room && packets.size() < kMaxBatch) {
        if (m_reader.Next(packet)) {
            (packet.info.kind == packetfmt::kVideo ? video : audio) += 1;
            m_stats.packetBytes += int64_t(packet.bytes.size());
            packets.push_back(std::move(packet));
            continue;
        }
        if (m_source.empty())
            break;
        m_reader.Feed(m_source.front().data(), m_source.front().size());
        m_sourceBytes -= m_source.front().size();
        m_source.pop_front();
    }
    AccountSkipped();

    const bool endOfStream = packets.empty() && m_flushPending && m_source.empty();
    if (packets.empty() && !endOfStream)
        return false;
    if (endOfStream) {
        m_reader.Flush();  // an incomplete tail
        AccountSkipped();
        m_flushPending = false;
    }

    for (const auto &p : packets) {
        if (p.info.kind == packetfmt::kVideo && p.info.width && p.info.height) {
            m_headerWidth = p.info.width;
            m_headerHeight = p.info.height;
        }
    }
    m_inflightVideo += int(video);
    m_inflightAudio += int(audio);
    const uint64_t resetGeneration = m_resetGeneration;
    bool needKey = m_needKey;
    if (m_decoderStale && m_calloutsStarted == m_calloutsFinished) {
        // No decoding runs now (a worker decodes only inside a callout): pictures the
        // decoder holds for reordering belong to the old place.
        m_svac.reset();
        m_svacTried = false;
        m_decoderStale = false;
    }
    if (m_keyDirty && m_svac) {
        m_svac->SetKey(m_key);
        m_keyDirty = false;
    }
    if (!m_svacTried && std::any_of(packets.begin(), packets.end(), [](const packetfmt::Packet &p) {
            return p.info.kind == packetfmt::kVideo && p.info.encoding == packetfmt::kEncSvac;
        })) {
        m_svacTried = true;
        m_svac = SvacDecoder::Open();
        if (m_svac && !m_key.empty())
            m_svac->SetKey(m_key);
        m_keyDirty = false;
    }
    SvacDecoder *svac = m_svac.get();
    const Callbacks cb = m_cb;
    const bool soundOn = m_soundShare && m_chosenAudio.test(0);
    const int64_t lastTs = m_lastTs;
    ++m_calloutsStarted;
    lk.unlock();

    std::vector<Frame> frames;
    int64_t failures = 0, played = 0;
    {
        CalloutScope scope(this);
        for (auto &p : packets) {
            const PLAY_DEMUX_INFO info = DemuxInfo(p.info);
            if (cb.demux)
                cb.demux(m_number, p.bytes.data(), int32_t(p.bytes.size()), &info, nullptr, cb.demuxUser);
            if (cb.data)
                cb.data(p.bytes.data(), int32_t(p.bytes.size()), cb.dataUser);
            WriteRecord(p.bytes);
            if (p.info.kind != packetfmt::kVideo) {
                played += soundOn ? 1 : 0;
                continue;
            }
            if (needKey && !p.info.key)
                continue;  // nothing decodes before the first key frame
            needKey = false;
            if (p.info.encoding == packetfmt::kEncSvac) {
                std::vector<PicturePtr> pictures;
                if (!svac || !svac->Decode(p.payload.data(), p.payload.size(), pictures))
                    ++failures;
                for (auto &picture : pictures)
                    frames.push_back(Frame{p.info, {}, std::move(picture)});
            } else if (p.info.encoding == packetfmt::kEncI420 || p.info.encoding == packetfmt::kEncTestPic) {
                frames.push_back(Frame{p.info, std::move(p.payload), nullptr});
            } else {
                ++failures;
            }
        }
        if (endOfStream && svac) {
            std::vector<PicturePtr> pictures;
            svac->Drain(pictures);
            packetfmt::PacketInfo info;
            info.timestampMs = lastTs;
            for (auto &picture : pictures)
                frames.push_back(Frame{info, {}, std::move(picture)});
        }
    }

    lk.lock();
    ++m_calloutsFinished;
    m_done.notify_all();
    m_inflightVideo -= int(video);
    m_inflightAudio -= int(audio);
    m_stats.videoPackets += int64_t(video);
    m_stats.audioPackets += int64_t(audio);
    m_stats.audioPlayed += int32_t(played);
    m_stats.decodeFailures += failures;
    if (m_workerGeneration != generation || m_resetGeneration != resetGeneration)
        return true;  // stopped or reset meanwhile: these frames are gone
    m_needKey = needKey;
    for (auto &f : frames)
        Enqueue(std::move(f));
    if (endOfStream)
        FlushGop();
    return true;
}

// When the frame is due: frames follow their timestamps (backwards in reverse play) at the
// port's speed; a step in time that is negative or too large continues one frame interval
// after the previous frame and starts a new time line there.
bool Port::DueTime(const Frame &frame, TimePoint now, TimePoint &when)
{
    const int64_t ts = frame.info.timestampMs;
    if (!m_anchored) {
        m_anchored = true;
        m_anchorWall = now;
        m_anchorTs = ts;
        when = now;
        return true;
    }
    const double speed = double(m_speed) * Clock::Rate();
    const int64_t delta = m_reverse ? m_anchorTs - ts : ts - m_anchorTs;
    if (delta < 0 || delta > kMaxGapMs) {
        const double intervalMs = 1000.0 / std::max<int>(1, frame.info.frameRate ? frame.info.frameRate : 25);
        m_anchorWall = m_lastDue + std::chrono::microseconds(int64_t(intervalMs * 1000.0 / speed));
        m_anchorTs = ts;
    }
    const int64_t offsetUs = int64_t(double(m_reverse ? m_anchorTs - ts : ts - m_anchorTs) * 1000.0 / speed);
    when = m_anchorWall + std::chrono::microseconds(offsetUs);
    return true;
}

bool Port::ShowStep(std::unique_lock<std::mutex> &lk, TimePoint &due, bool &hasDue)
{
    if (!m_playing || m_queue.empty())
        return false;
    if (m_paused && m_stepBudget == 0 && !m_showWhilePaused)
        return false;
    const uint64_t generation = m_workerGeneration;
    const uint64_t resetGeneration = m_resetGeneration;
    const TimePoint now = Clock::Now();
    const bool watched = m_sink || m_cb.visible || m_cb.dec || !m_regions.empty();
    TimePoint when = now;
    if (m_paused) {
        if (m_stepBudget > 0)
            --m_stepBudget;
        else
            m_showWhilePaused = false;
    } else if (watched) {
        DueTime(m_queue.front(), now, when);
        if (when > now) {
            due = when;
            hasDue = true;
            return false;
        }
    }
    Frame frame = std::move(m_queue.front());
    m_queue.pop_front();
    m_hasLast = true;
    m_lastTs = frame.info.timestampMs;
    m_lastDue = when;
    if (m_paused) {
        // A step: the time line restarts at this frame.
        m_anchored = true;
        m_anchorWall = now;
        m_anchorTs = m_lastTs;
        m_lastDue = now;
    }
    uint32_t frameId = m_nextFrameId++;
    if (m_nextFrameId == 0)
        m_nextFrameId = 1;
    ++m_showing;
    const Callbacks cb = m_cb;
    PLAY_VIDEO_SINK *sink = m_sink;
    const std::map<int32_t, Region> regions = m_regions;
    ++m_calloutsStarted;
    lk.unlock();

    PicturePtr picture = watched ? DecodeLazy(frame) : nullptr;

    // The frame is the port's last picture before anyone hears of it, so a snapshot taken
    // from a callback finds it.
    lk.lock();
    const bool current = m_workerGeneration == generation && m_resetGeneration == resetGeneration;
    const packetfmt::PacketInfo info = frame.info;
    if (watched && !picture)
        ++m_stats.decodeFailures;
    if (current) {
        ++m_stats.shownFrames;
        if (picture) {
            m_pictureWidth = picture->width;
            m_pictureHeight = picture->height;
            frame.picture = picture;
            frame.payload.clear();
        }
        m_lastFrame = std::move(frame);
        m_hasLastFrame = true;
    }
    lk.unlock();
    if (current && picture) {
        CalloutScope scope(this);
        Show(info, picture, frameId, cb, sink, regions);
    }

    lk.lock();
    ++m_calloutsFinished;
    --m_showing;
    m_done.notify_all();
    return true;
}

// Hands one picture to the callbacks and the sinks. Called without the port's lock.
void Port::Show(const packetfmt::PacketInfo &info, PicturePtr picture, uint32_t frameId, const Callbacks &cb,
                PLAY_VIDEO_SINK *sink, const std::map<int32_t, Region> &regions)
{
    const Picture &pic = *picture;
    if (pic.width != m_reportedWidth || pic.height != m_reportedHeight) {
        m_reportedWidth = pic.width;
        m_reportedHeight = pic.height;
        if (cb.encType)
            cb.encType(m_number, cb.encTypeUser, pic.width, pic.height);
    }

    FRAME_DECODE_INFO decode{};
    for (int i = 0; i < 3; ++i) {
        decode.plane[i] = const_cast<uint8_t *>(pic.Plane(i));
        decode.lineSize[i] = pic.Stride(i);
    }
    decode.width = pic.width;
    decode.height = pic.height;
    FRAME_INFO_EX record{};
    record.type = 0;
    record.frameId = frameId;
    record.frameCounter = int32_t(info.timestampMs & 0xFFFF);
    record.width = pic.width;
    record.height = pic.height;
    record.frameRate = info.frameRate;
    record.encodeType = info.encoding;
    record.sequence = info.sequence;
    record.timestampMs = info.timestampMs;
    const packetfmt::CivilTime t = packetfmt::MsToCivil(info.timestampMs);
    record.year = uint16_t(t.year);
    record.month = uint16_t(t.month);
    record.day = uint16_t(t.day);
    record.hour = uint16_t(t.hour);
    record.minute = uint16_t(t.minute);
    record.second = uint16_t(t.second);
    record.millisecond = uint16_t(t.millisecond);
    if (cb.dec)
        cb.dec(m_number, &decode, &record);
    if (cb.visible)
        cb.visible(m_number, &decode, &record, cb.visibleUser);

    // Each sink once: a region of the main sink replaces its whole-picture view.
    std::vector<std::pair<PLAY_VIDEO_SINK *, PLAY_RECT>> targets;
    const PLAY_RECT whole{0, 0, pic.width - 1, pic.height - 1};
    if (sink)
        targets.emplace_back(sink, whole);
    for (const auto &entry : regions) {
        const Region &r = entry.second;
        if (!r.sink)
            continue;
        auto same = std::find_if(targets.begin(), targets.end(), [&](const auto &t) { return t.first == r.sink; });
        if (same != targets.end())
            same->second = Crop(r.rect, pic.width, pic.height);
        else
            targets.emplace_back(r.sink, Crop(r.rect, pic.width, pic.height));
    }
    if (targets.empty())
        return;
    const size_t stride = size_t(pic.width) * 4;
    m_rgb.resize(stride * size_t(pic.height));
    scalecore::YuvPicture in;
    for (int i = 0; i < 3; ++i) {
        in.plane[i] = pic.Plane(i);
        in.stride[i] = pic.Stride(i);
    }
    in.width = pic.width;
    in.height = pic.height;
    if (!scalecore::ToRgb32(in, m_rgb.data(), pic.width, pic.height, stride))
        return;
    for (const auto &target : targets) {
        const PLAY_RECT &c = target.second;
        const uint8_t *origin = m_rgb.data() + size_t(c.top) * stride + size_t(c.left) * 4;
        if (target.first->draw)
            target.first->draw(target.first->user, origin, c.right - c.left + 1, c.bottom - c.top + 1, int32_t(stride));
    }
}

}  // namespace play
