#pragma once
// Recording stand-ins for the player library functions that snapshots and the watermark
// check call, entered into the in-memory host's resolve table.

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include <play/playsdk.h>

#include "TestHost.h"

namespace snaptest {
namespace fakeplay {

struct Capture {
    int32_t port;
    std::string path;
    int32_t type;
};

// Forgets every call and script.
void Reset();
// Enters the fakes under module "play"; names absent from `only` stay unresolved when
// `only` is not empty.
void FillResolveTable(testsupport::TestHost& host, const std::vector<std::string>& only = {});

// --- PLAY_CatchPicEx ---
// Answer of the next captures (1 by default). A successful capture writes a 64x48 picture
// of the port's colour to the path (BMP for type 0, JPEG otherwise).
void SetCaptureResult(int32_t result);
std::vector<Capture> Captures();
// The colour a capture of the port paints.
uint32_t PortColour(int32_t port);

// --- the watermark check's port ---
// Calls in order, "Name(port, ...)" with the arguments that matter.
std::vector<std::string> Calls();
// The named function answers 0 from now on.
void FailFunction(const std::string& name);
// While closed, PLAY_InputData refuses every block.
void SetInputOpen(bool open);
// PLAY_InputData accepts this many more blocks, then refuses; -1 (the default) for no limit.
void SetInputBudget(int blocks);
// Bytes accepted by PLAY_InputData, and the length of each accepted block.
std::vector<int32_t> AcceptedBlocks();
int RefusedInputs();
// Calls the watermark callback the check installed, as the library's thread would.
int32_t FireWaterMark(const char* buffer, int32_t length, int32_t kind, int32_t flag, int64_t timeValue);
bool HasWaterMarkCallBack();

}  // namespace fakeplay
}  // namespace snaptest
