#pragma once
// A recording stand-in for the player library: plain functions that log each call with its
// arguments ("PLAY_OpenStream(7,null,0,15360000)") and answer a scripted result (1 by
// default). Callback and user pointers are logged as "cb"/"user" or "null", window handles
// in hex. PLAY_GetSourceBufferRemain is answered but not logged (readers poll it).
//
// Source buffer model: each port keeps the bytes accepted by PLAY_InputData; the bytes
// "not yet consumed" are all of them until the port is drained, none after.

#include <cstdint>
#include <string>
#include <vector>

#include <play/playsdk.h>

#include "TestHost.h"

namespace recplay {

constexpr int kPort = 7;

// Puts every function into the host's resolve table under "play".
void FillResolveTable(testsupport::TestHost& host);
// Empties the journal, the scripted results and the ports; the free port becomes kPort,
// input is accepted and every port is drained.
void Reset();

std::vector<std::string> Journal();
// The journal without the entries of the given functions.
std::vector<std::string> JournalWithout(const std::vector<std::string>& functions);
std::vector<std::string> CallsOf(const std::string& function);
int CountOf(const std::string& function);

// The answer of every later call of the function.
void SetResult(const std::string& function, int result);
// The port PLAY_GetFreePort fills in.
void SetFreePort(int port);
// Refuses every PLAY_InputData while set; RefuseInputs refuses the next n only.
void SetInputRefused(bool refused);
void RefuseInputs(int count);
// PLAY_InputData takes this long and is logged as it returns.
void SetInputDelay(int ms);
// Drained ports report no remaining bytes; undrained ones every byte they accepted.
void SetDrained(bool drained);
// The bytes the port accepted, in order.
std::vector<uint8_t> FedBytes(int port);
// The visible-decode callback and user value last set for the port.
void VisibleDecodeOf(int port, PLAY_VisibleDecodeCallBack* callback, void** user);

std::string Pointer(const void* p);

}  // namespace recplay
