#include "svacwriter/nal_writer.h"

namespace svacwriter {

uint8_t nal_header_byte(const NalHeader& header)
{
    return static_cast<uint8_t>((header.forbidden_bit ? 0x80 : 0) | (header.ref_flag ? 0x40 : 0) |
                                ((header.nal_type & 0xF) << 2) |
                                (header.encryption_flag ? 0x02 : 0) |
                                (header.authentication_flag ? 0x01 : 0));
}

std::vector<uint8_t> escape_payload(const uint8_t* data, size_t size)
{
    std::vector<uint8_t> out;
    out.reserve(size + size / 64 + 4);
    int zeros = 0;
    for (size_t i = 0; i < size; ++i) {
        const uint8_t b = data[i];
        if (zeros >= 2 && b <= 3) {
            out.push_back(0x03);
            zeros = 0;
        }
        out.push_back(b);
        zeros = b == 0 ? zeros + 1 : 0;
    }
    return out;
}

NalHeader nal_header(uint32_t nal_type)
{
    NalHeader header;
    header.nal_type = nal_type;
    return header;
}

NalUnit finish_unit(const NalHeader& header, BitWriter& body, StartCode start_code)
{
    NalUnit unit;
    unit.header = header;
    unit.start_code = start_code;
    body.put_trailing_bits();
    unit.error = body.error();
    unit.payload = body.take_bytes();
    return unit;
}

bool append_unit(std::vector<uint8_t>& stream, const NalUnit& unit)
{
    if (!unit.error.empty() || unit.header.nal_type > 15)
        return false;
    if (unit.start_code == StartCode::kFourByte)
        stream.push_back(0x00);
    stream.insert(stream.end(), {0x00, 0x00, 0x01});
    stream.push_back(nal_header_byte(unit.header));
    if (unit.header.authentication_flag)
        stream.push_back(unit.header.authentication_byte);
    const std::vector<uint8_t> escaped = escape_payload(unit.payload.data(), unit.payload.size());
    stream.insert(stream.end(), escaped.begin(), escaped.end());
    return true;
}

bool concat_units(const std::vector<NalUnit>& units, std::vector<uint8_t>* stream,
                  std::vector<size_t>* offsets)
{
    std::vector<uint8_t> out;
    std::vector<size_t> starts;
    for (const NalUnit& unit : units) {
        starts.push_back(out.size());
        if (!append_unit(out, unit)) {
            stream->clear();
            if (offsets)
                offsets->clear();
            return false;
        }
    }
    *stream = std::move(out);
    if (offsets)
        *offsets = std::move(starts);
    return true;
}

std::vector<uint8_t> make_stream(const std::vector<NalUnit>& units)
{
    std::vector<uint8_t> stream;
    concat_units(units, &stream);
    return stream;
}

} // namespace svacwriter
