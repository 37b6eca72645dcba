#pragma once
// Factories of record transcoders by container type ("rkv"), filled while the module
// loads and looked up when a recording starts.

#include <map>
#include <mutex>
#include <string>

#include <foundation/HostContext.h>

namespace Tolvane {

class IRecordTranscoder;

// Makes a new transcoder, owned by the caller.
using RecordTranscoderFactory = IRecordTranscoder* (*)(HostContext* context);

class RecordTranscoderRegistry {
public:
    // Made on first use, freed with the module's static objects.
    static RecordTranscoderRegistry& Instance();

    // Replaces an entry of the same type; true when the factory was stored.
    static bool Register(const std::string& type, RecordTranscoderFactory factory);
    // A new transcoder from the type's factory; null when the type has none.
    static IRecordTranscoder* Create(const std::string& type, HostContext* context);

private:
    RecordTranscoderRegistry() = default;

    std::mutex m_lock;
    std::map<std::string, RecordTranscoderFactory> m_factories;  // byte-wise order
};

}  // namespace Tolvane
