#pragma once
// The outside player library "play" and scaler "swscale" as the play modes reach them:
// every function is resolved through the host by module and function name at the moment
// of the call and called through the library header's declared type. When the host has no
// such function the call is skipped and answers 0 (false, null): a failed call.

#include <type_traits>

#include <foundation/HostCalls.h>
#include <foundation/HostContext.h>

#include <play/playsdk.h>
#include <swscale/swscale.h>

namespace Tolvane {
namespace PlayLibrary {

constexpr const char kPlayModule[] = "play";
constexpr const char kScaleModule[] = "swscale";

}  // namespace PlayLibrary
}  // namespace Tolvane

// PLAY_CALL(context, PLAY_Name, args...): resolves PLAY_Name now and calls it with the type
// the header declares; an unresolved function answers a value-initialised result.
#define PLAY_CALL(context, function, ...)                                                               \
    ::Foundation::CallSdkFunction<std::remove_pointer_t<decltype(&function)>>(                          \
        context, ::Tolvane::PlayLibrary::kPlayModule, #function, ##__VA_ARGS__)

// SCALE_CALL(context, SCALE_Name, args...): the same for the scaler.
#define SCALE_CALL(context, function, ...)                                                              \
    ::Foundation::CallSdkFunction<std::remove_pointer_t<decltype(&function)>>(                          \
        context, ::Tolvane::PlayLibrary::kScaleModule, #function, ##__VA_ARGS__)
