#pragma once
// A record transcoder writes the stream of one player port into a container file while the
// port plays. Transcoders are made by container type through RecordTranscoderRegistry.

#include <cstdint>

namespace Tolvane {

class IRecordTranscoder {
public:
    virtual ~IRecordTranscoder() = default;
    // Creates the file and starts taking the port's stream into it; false leaves no file.
    virtual bool Open(const char* fileName, int32_t port) = 0;
    // Stops taking the stream and closes the file under its final name.
    virtual bool Stop() = 0;
    virtual bool IsRecording() = 0;
    // Reserved for container options; nothing calls it.
    virtual bool SetOption(int32_t option, int32_t value) = 0;
    // The container type, "rkv".
    virtual const char* GetType() = 0;
};

}  // namespace Tolvane
