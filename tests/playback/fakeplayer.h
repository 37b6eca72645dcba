#pragma once
// A recording player library for the playback tests: plain functions that journal each
// call with its arguments ("PLAY_OpenStream(7,null,0,15360000)") and answer a scripted
// result, 1 by default. Scripted sequences are used up first, then the fixed result.

#include <string>
#include <vector>

#include "TestHost.h"

namespace fakeplayer {

constexpr int kPort = 7;
constexpr int kGroup = 33;

// Puts every fake into the host's resolve table under "play".
void FillResolveTable(testsupport::TestHost& host);
// Empties the journal and the scripts.
void Reset();

std::vector<std::string> Journal();
void ClearJournal();
// The journal entries of one function.
std::vector<std::string> CallsOf(const std::string& function);
int CountOf(const std::string& function);

// The answer of every later call of the function.
void SetResult(const std::string& function, int result);
// Answers for the next calls, before the fixed result applies again.
void SetSequence(const std::string& function, const std::vector<int>& results);
// The port PLAY_GetFreePort fills in.
void SetFreePort(int port);

}  // namespace fakeplayer
