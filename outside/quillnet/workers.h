// The threads that feed streams, transfers and talks. Each starts on an endpoint already
// registered, so that its callbacks may stop it by its handle from the first block on.
#ifndef OUTSIDE_QUILLNET_WORKERS_H
#define OUTSIDE_QUILLNET_WORKERS_H

#include "device.h"
#include "endpoint.h"

#include <memory>
#include <string>

namespace quillnet {

// Live: loops the packets at real-time pace, retimed to the device's current local time.
void StartLive(const std::shared_ptr<Endpoint> &ep, std::shared_ptr<const PacketList> packets);

// Playback (paced, honours pause, speed, direction and seek) or download (as fast as taken).
// A refused block is delivered again after 10 ms. Ends with position (total, -1), or (total, -2)
// on failure. saveFile, when not empty, receives every delivered block.
struct TransferOptions {
    bool paced = true;
    bool timePosition = false;     // report through the time-position callback
    std::string saveFile;
    int64_t bytesPerSecond = 0;    // no faster than that; 0: unlimited
};
void StartTransfer(const std::shared_ptr<Endpoint> &ep, std::shared_ptr<const Clip> clip,
                   const TransferOptions &options);

// Talk: device audio every 40 ms (flag 1), and local capture while recording is on (flag 0).
void StartTalk(const std::shared_ptr<Endpoint> &ep, std::shared_ptr<const PacketList> audio);

}  // namespace quillnet

#endif
