// SVAC payloads through the decoder library libPravenna.so, loaded by full path from the
// folder of this library.
#ifndef OUTSIDE_PLAY_SVAC_H
#define OUTSIDE_PLAY_SVAC_H

#include "picture.h"

#include <memory>
#include <string>
#include <vector>

namespace play {

class SvacDecoder {
public:
    // Null when the decoder library cannot be loaded or opened.
    static std::unique_ptr<SvacDecoder> Open();
    ~SvacDecoder();

    void SetKey(const std::string &key);
    // Decodes one packet's payload; the pictures it completed are appended to out. False when
    // the decoder refused the data (the instance stays usable for the next key frame).
    bool Decode(const uint8_t *data, size_t length, std::vector<PicturePtr> &out);
    // End of stream: the pictures still held for each layer.
    void Drain(std::vector<PicturePtr> &out);

private:
    explicit SvacDecoder(void *handle);
    void TakeOutput(std::vector<PicturePtr> &out);

    void *m_handle;
    std::vector<uint8_t> m_extension;
};

}  // namespace play

#endif
