#pragma once
// The outside device library Quillnet as the device object reaches it: every CLIENT_
// function is resolved through the host by module "Quillnet" and its name at the moment of
// the call, and called through the library header's typed pointer. When the host has no
// such function the call is skipped and answers 0 (false, null): a failed call.

#include <type_traits>

#include <foundation/HostCalls.h>
#include <foundation/HostContext.h>

#include <quillnet/quillnet.h>

namespace Tolvane {
namespace QuillnetSdk {

constexpr const char kModule[] = "Quillnet";

// Error codes are logged masked to their low 28 bits.
constexpr uint32_t kErrorCodeMask = 0x0fffffffu;

}  // namespace QuillnetSdk
}  // namespace Tolvane

// QUILLNET_CALL(context, CLIENT_Name, args...): resolves CLIENT_Name now and calls it as a
// CLIENT_Name_fn; a function the host cannot resolve answers a value-initialised result.
#define QUILLNET_CALL(context, function, ...)                                                         \
    ::Foundation::CallSdkFunction<std::remove_pointer_t<function##_fn>>(context, ::Tolvane::QuillnetSdk::kModule, \
                                                                        #function, ##__VA_ARGS__)
