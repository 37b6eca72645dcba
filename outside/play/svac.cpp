#include "svac.h"

#include "svacdec.h"

#include <algorithm>
#include <dlfcn.h>
#include <mutex>

namespace play {

namespace {

struct Api {
    decltype(&ZQ_SVAC_Dec_GetCPUCaps) getCaps = nullptr;
    decltype(&ZQ_SVAC_Dec_Init) init = nullptr;
    decltype(&ZQ_SVAC_Dec_Open) open = nullptr;
    decltype(&ZQ_SVAC_Set_Key) setKey = nullptr;
    decltype(&ZQ_SVAC_Dec_Decode) decode = nullptr;
    decltype(&ZQ_SVACDEC_ZQ_SVAC_get_output_frame) getFrame = nullptr;
    decltype(&ZQ_SVACDEC_ZQ_SVAC_release_output_frame) releaseFrame = nullptr;
    decltype(&ZQ_SVAC_Get_LastFrame) lastFrame = nullptr;
    decltype(&ZQ_SVAC_Dec_Close) close = nullptr;
    bool ready = false;
};

std::string OwnFolder()
{
    Dl_info info{};
    if (!dladdr(reinterpret_cast<void *>(&OwnFolder), &info) || !info.dli_fname)
        return ".";
    const std::string path = info.dli_fname;
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? "." : path.substr(0, slash);
}

template <typename T>
bool Resolve(void *lib, const char *name, T &fn)
{
    fn = reinterpret_cast<T>(dlsym(lib, name));
    return fn != nullptr;
}

// Loads the library and initialises it once per process: CPU caps, then init.
const Api &LoadApi()
{
    static Api api;
    static std::once_flag once;
    std::call_once(once, [] {
        const std::string path = OwnFolder() + "/libPravenna.so";
        void *lib = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!lib)
            return;
        const bool ok = Resolve(lib, "ZQ_SVAC_Dec_GetCPUCaps", api.getCaps) &&
            Resolve(lib, "ZQ_SVAC_Dec_Init", api.init) && Resolve(lib, "ZQ_SVAC_Dec_Open", api.open) &&
            Resolve(lib, "ZQ_SVAC_Set_Key", api.setKey) && Resolve(lib, "ZQ_SVAC_Dec_Decode", api.decode) &&
            Resolve(lib, "ZQ_SVACDEC_ZQ_SVAC_get_output_frame", api.getFrame) &&
            Resolve(lib, "ZQ_SVACDEC_ZQ_SVAC_release_output_frame", api.releaseFrame) &&
            Resolve(lib, "ZQ_SVAC_Get_LastFrame", api.lastFrame) && Resolve(lib, "ZQ_SVAC_Dec_Close", api.close);
        if (!ok) {
            dlclose(lib);
            return;
        }
        api.init(api.getCaps());
        api.ready = true;  // the library stays loaded for the life of the process
    });
    return api;
}

// One decoded picture as 8-bit 4:2:0: deeper samples are shifted down, 4:2:2 chroma takes
// every other row and a luma-only picture gets neutral chroma.
PicturePtr Convert(const output_frame_rec &rec)
{
    auto picture = std::make_shared<Picture>();
    if (!rec.plane[0] || rec.bit_depth < 8 || rec.bit_depth > 16 || !picture->Allocate(rec.width, rec.height))
        return nullptr;
    const bool wide = rec.bit_depth > 8;
    const int shift = rec.bit_depth - 8;
    auto copyPlane = [&](int i, const uint8_t *src, int stride, int rowStep) {
        uint8_t *dst = picture->Plane(i);
        for (int y = 0; y < picture->Rows(i); ++y) {
            const uint8_t *row = src + size_t(y) * rowStep * size_t(stride);
            for (int x = 0; x < picture->Stride(i); ++x)
                dst[size_t(y) * picture->Stride(i) + x] =
                    wide ? uint8_t((row[2 * x] | row[2 * x + 1] << 8) >> shift) : row[x];
        }
    };
    copyPlane(0, rec.plane[0], rec.stride[0], 1);
    if (rec.chroma_format == 0 || !rec.plane[1] || !rec.plane[2]) {
        std::fill(picture->data.begin() + picture->width * picture->height, picture->data.end(), 128);
    } else {
        const int rowStep = rec.chroma_format == 2 ? 2 : 1;
        copyPlane(1, rec.plane[1], rec.stride[1], rowStep);
        copyPlane(2, rec.plane[2], rec.stride[2], rowStep);
    }
    return picture;
}

}  // namespace

std::unique_ptr<SvacDecoder> SvacDecoder::Open()
{
    const Api &api = LoadApi();
    if (!api.ready)
        return nullptr;
    void *handle = api.open();
    if (!handle)
        return nullptr;
    return std::unique_ptr<SvacDecoder>(new SvacDecoder(handle));
}

SvacDecoder::SvacDecoder(void *handle) : m_handle(handle), m_extension(sizeof(extension_data_record)) {}

SvacDecoder::~SvacDecoder()
{
    LoadApi().close(m_handle);
}

void SvacDecoder::SetKey(const std::string &key)
{
    LoadApi().setKey(m_handle, reinterpret_cast<const unsigned char *>(key.data()), uint32_t(key.size()));
}

bool SvacDecoder::Decode(const uint8_t *data, size_t length, std::vector<PicturePtr> &out)
{
    const Api &api = LoadApi();
    auto *ext = reinterpret_cast<extension_data_record *>(m_extension.data());
    size_t offset = 0;
    bool ok = true;
    while (offset < length) {
        const decode_input in{data + offset, int32_t(length - offset), 0};
        const int32_t used = api.decode(m_handle, &in, ext);
        TakeOutput(out);
        if (used < 0) {
            ok = false;
            break;
        }
        if (used == 0)
            break;
        offset += size_t(used);
    }
    return ok;
}

void SvacDecoder::Drain(std::vector<PicturePtr> &out)
{
    const Api &api = LoadApi();
    for (int32_t layer = 0; layer < 2; ++layer) {
        if (api.lastFrame(m_handle, layer) > 0)
            TakeOutput(out);
    }
}

void SvacDecoder::TakeOutput(std::vector<PicturePtr> &out)
{
    const Api &api = LoadApi();
    output_frame_rec rec{};
    while (api.getFrame(m_handle, &rec) == 0) {
        if (PicturePtr picture = Convert(rec))
            out.push_back(std::move(picture));
        api.releaseFrame(m_handle, &rec);
        rec = output_frame_rec{};
    }
}

}  // namespace play
