#pragma once
// A player library fake with real callback slots: ports from GetFreePort, the callbacks each
// port holds, and helpers that play the port's thread by calling them. Setting a callback
// waits for a call of the old one in flight, as the real library does, unless a test turns
// that off. Every other function answers 1.

#include <cstdint>
#include <string>
#include <vector>

#include <play/playsdk.h>

#include "TestHost.h"

namespace livetest {
namespace fakeplayer {

void FillResolveTable(testsupport::TestHost& host);
// Forgets every port; the next free port is 11.
void Reset();

// Port 0 when the library gave none.
std::vector<int32_t> OpenedPorts();
int32_t LastPort();

// The port's picture size becomes known (when it changed) and one decoded frame is shown.
void FirePicture(int32_t port, int32_t width = 320, int32_t height = 240);
// One demultiplexed packet through the port's demux callback; false when it has none.
bool FireDemux(int32_t port, const std::vector<uint8_t>& packet);
bool HasDemuxCallBack(int32_t port);

// The answer of PLAY_SetDemuxCallBack calls that install a callback.
void SetDemuxInstallResult(int32_t result);
// When false, removing a callback does not wait for a call in flight.
void SetSynchronousRemoval(bool synchronous);

}  // namespace fakeplayer
}  // namespace livetest
