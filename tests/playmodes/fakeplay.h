#pragma once
// Recording stand-ins for the player library and the scaler: plain functions that log each
// call with its arguments ("PLAY_OpenStream(7,null,1,15360000)") and answer a scripted
// result (1 by default; SCALE_start 0). Pointers are logged as "null" or in hex.

#include <string>
#include <vector>

#include "TestHost.h"

namespace fakeplay {

constexpr int kPort = 7;

// Puts every fake into the host's resolve table under "play" and "swscale".
void FillResolveTable(testsupport::TestHost& host);
// Empties the journal and the scripted results; the free port becomes kPort again.
void Reset();

std::vector<std::string> Journal();
void ClearJournal();
// The journal entries of one function.
std::vector<std::string> CallsOf(const std::string& function);
int CountOf(const std::string& function);

// The answer of every later call of the function.
void SetResult(const std::string& function, int result);
// The port PLAY_GetFreePort fills in (its answer stays 1).
void SetFreePort(int port);
// The size PLAY_GetPictureSize reports.
void SetPictureSize(int width, int height);

std::string Pointer(const void* p);

}  // namespace fakeplay
