// Configuration watching, transparent JSON requests and the VK attachment of the device
// object. Request texts may carry credentials, so they are logged at trace level only.

#include <cstring>
#include <memory>
#include <new>
#include <string>

#include <QDebug>

#include <foundation/JsonRead.h>

#include "logfacade.h"
#include "quillnetdev.h"
#include "quillnetsdk.h"

namespace Tolvane {

namespace {

// Request text with its terminator, and the answer, each fit this many bytes.
constexpr uint32_t kTransmitBufferSize = 1048576;

// Where the VK blocks lie in the attach answer, and how long they are.
constexpr int kVKFirstOffset = 0;
constexpr int kVKFirstLength = 16;
constexpr int kVKSecondOffset = 128;
constexpr int kVKSecondLength = 32;

uint32_t LastError(HostContext* context)
{
    return QUILLNET_CALL(context, CLIENT_GetLastError) & QuillnetSdk::kErrorCodeMask;
}

// The request as compact text in a zeroed buffer of the fixed size, and the answer buffer,
// which has one byte more than the library is offered so that it always ends in a
// terminator.
class TransmitBuffers {
public:
    // False when the text with its terminator does not fit or memory is short.
    bool Prepare(const Json::Value& request, const char* operation)
    {
        m_text = Foundation::JsonFastText(request);
        if (m_text.size() + 1 > kTransmitBufferSize) {
            qDebug() << operation << ": ERROR: request of" << m_text.size() << "bytes is too long";
            return false;
        }
        m_request.reset(new (std::nothrow) char[kTransmitBufferSize]());
        m_answer.reset(new (std::nothrow) char[kTransmitBufferSize + 1]());
        if (!m_request || !m_answer) {
            return false;
        }
        std::memcpy(m_request.get(), m_text.c_str(), m_text.size());
        TOLVANE_TRACE("Tolvane", operation, "Info: Json " << m_text);
        return true;
    }

    const char* Request() const { return m_request.get(); }
    uint32_t RequestLength() const { return static_cast<uint32_t>(m_text.size()); }
    const std::string& Text() const { return m_text; }

    qn_transmit_out Output(uint32_t size)
    {
        qn_transmit_out out{};
        out.size = size;
        out.buffer = m_answer.get();
        out.buffer_size = kTransmitBufferSize;
        return out;
    }

    // Parses the answer; on success it replaces *answer (when given).
    bool ParseAnswer(Json::Value* answer, const char* operation)
    {
        m_answer[kTransmitBufferSize] = '\0';
        TOLVANE_TRACE("Tolvane", operation, "return data ~~~~~~~~~" << m_answer.get());
        Json::Value parsed;
        if (!Foundation::JsonParse(m_answer.get(), parsed)) {
            return false;
        }
        if (answer != nullptr) {
            answer->swap(parsed);
        }
        return true;
    }

private:
    std::string m_text;
    std::unique_ptr<char[]> m_request;
    std::unique_ptr<char[]> m_answer;
};

// ---- library callbacks; the user value is the caller's delegate ----

void OnConfigChange(qn_handle attach, const char* name, const char* json, void* user)
{
    auto* delegate = static_cast<DeviceConfigDelegate*>(user);
    if (delegate != nullptr && !delegate->empty()) {
        (*delegate)(attach, name, json);
    }
}

// The delegate gets a terminated copy of the text and the binary data that follows it.
int OnTransmit(qn_handle attach, const qn_transmit_data* data, void* user)
{
    auto* delegate = static_cast<DeviceTransmitDelegate*>(user);
    if (delegate == nullptr || delegate->empty()) {
        return 1;
    }
    const char* text = data != nullptr ? data->data : nullptr;
    const uint32_t length = text != nullptr ? data->text_length : 0;
    const std::string copy(text != nullptr ? text : "", length);
    const auto* binary = reinterpret_cast<const unsigned char*>(text != nullptr ? text + length : nullptr);
    (*delegate)(attach, copy.c_str(), binary, data != nullptr ? data->binary_length : 0);
    return 1;
}

void OnVK(qn_handle, int32_t, uint32_t length, const uint8_t* data, void* user)
{
    auto* delegate = static_cast<DeviceVKDelegate*>(user);
    if (delegate == nullptr || delegate->empty() || data == nullptr ||
        length < static_cast<uint32_t>(kVKSecondOffset + kVKSecondLength)) {
        return;
    }
    (*delegate)(data + kVKFirstOffset, kVKFirstLength, data + kVKSecondOffset, kVKSecondLength);
}

}  // namespace

long CQuillnetDev::AttachConfigChange(const char* name, DeviceConfigDelegate* delegate, int timeoutMs)
{
    qn_config_attach_in in{};
    in.size = sizeof(in);
    in.name = name;
    in.callback = &OnConfigChange;
    in.user = delegate;
    qn_config_attach_out out{};
    out.size = sizeof(out);
    const long attach = QUILLNET_CALL(m_context, CLIENT_AttachConfigChange, GetLoginHandle(), &in, &out, timeoutMs);
    if (attach == 0) {
        qDebug().nospace() << "CQuillnetDev::AttachConfigChange: ERROR: CLIENT_AttachConfigChange errorCode:"
                           << LastError(m_context) << ",szCfgName:" << (name != nullptr ? name : "");
    }
    return attach;
}

bool CQuillnetDev::DetachConfigChange(long attachHandle)
{
    const bool ok = QUILLNET_CALL(m_context, CLIENT_DetachConfigChange, attachHandle) != 0;
    if (!ok) {
        qDebug().nospace() << "CQuillnetDev::DetachConfigChange: ERROR: CLIENT_DetachConfigChange errorCode:"
                           << LastError(m_context) << ",lAttachHandle:" << attachHandle;
    }
    return ok;
}

bool CQuillnetDev::TransmitInfoForWeb(const Json::Value& request, Json::Value* answer, int timeoutMs)
{
    static const char kOperation[] = "Tolvane::CQuillnetDev::TransmitInfoForWeb";
    TransmitBuffers buffers;
    if (!buffers.Prepare(request, kOperation)) {
        return false;
    }
    qn_transmit_in in{};
    in.size = sizeof(in);
    in.kind = 1;
    in.request = buffers.Request();
    in.request_length = buffers.RequestLength();
    qn_transmit_out out = buffers.Output(sizeof(qn_transmit_out));
    const bool ok = QUILLNET_CALL(m_context, CLIENT_TransmitInfoForWebEx, GetLoginHandle(), &in, &out, timeoutMs) != 0;
    if (!ok) {
        qDebug() << "CQuillnetDev::TransmitInfoForWeb: ERROR: CLIENT_TransmitInfoForWebEx errorCode:"
                 << LastError(m_context);
        TOLVANE_TRACE("Tolvane", kOperation, ",request:" << buffers.Text());
    }
    const bool parsed = buffers.ParseAnswer(answer, kOperation);
    return ok && parsed;
}

long CQuillnetDev::AttachTransmitInfo(const Json::Value& request, Json::Value* answer,
                                      DeviceTransmitDelegate* delegate, int timeoutMs)
{
    static const char kOperation[] = "Tolvane::CQuillnetDev::AttachTransmitInfo";
    TransmitBuffers buffers;
    if (!buffers.Prepare(request, kOperation)) {
        return 0;
    }
    qn_transmit_attach_in in{};
    in.size = sizeof(in);
    in.callback = &OnTransmit;
    in.user = delegate;
    in.request = buffers.Request();
    in.request_length = buffers.RequestLength();
    qn_transmit_out out = buffers.Output(sizeof(qn_transmit_out));
    const long attach = QUILLNET_CALL(m_context, CLIENT_AttachTransmitInfo, GetLoginHandle(), &in, &out, timeoutMs);
    if (attach == 0) {
        qDebug() << "CQuillnetDev::AttachTransmitInfo: ERROR: CLIENT_AttachTransmitInfo errorCode:"
                 << LastError(m_context);
        TOLVANE_TRACE("Tolvane", kOperation, ",request:" << buffers.Text());
    }
    if (buffers.ParseAnswer(answer, kOperation)) {
        return attach;
    }
    if (attach != 0) {
        // The caller is told there is no subscription, so none may stay behind that would
        // still call its delegate.
        qn_transmit_detach_in detach{};
        detach.size = sizeof(detach);
        detach.request = buffers.Request();
        detach.request_length = buffers.RequestLength();
        qn_transmit_out detachOut = buffers.Output(sizeof(qn_transmit_out));
        QUILLNET_CALL(m_context, CLIENT_DetachTransmitInfo, attach, &detach, &detachOut, timeoutMs);
    }
    return 0;
}

bool CQuillnetDev::DetachTransmitInfo(long attachHandle, const Json::Value& request, Json::Value* answer,
                                      int timeoutMs)
{
    static const char kOperation[] = "Tolvane::CQuillnetDev::DetachTransmitInfo";
    TransmitBuffers buffers;
    if (!buffers.Prepare(request, kOperation)) {
        return false;
    }
    qn_transmit_detach_in in{};
    in.size = sizeof(in);
    in.request = buffers.Request();
    in.request_length = buffers.RequestLength();
    qn_transmit_out out = buffers.Output(sizeof(qn_transmit_out));
    const bool ok = QUILLNET_CALL(m_context, CLIENT_DetachTransmitInfo, attachHandle, &in, &out, timeoutMs) != 0;
    if (!ok) {
        qDebug().nospace() << "CQuillnetDev::DetachTransmitInfo: ERROR: CLIENT_DetachTransmitInfo errorCode:"
                           << LastError(m_context) << ",lAttachHandle:" << attachHandle;
    }
    const bool parsed = buffers.ParseAnswer(answer, kOperation);
    return ok && parsed;
}

long CQuillnetDev::AttachVK(int channel, DeviceVKDelegate* delegate, int timeoutMs)
{
    qn_vk_in in{};
    in.size = sizeof(in);
    in.channel = channel;
    in.callback = &OnVK;
    in.user = delegate;
    qn_vk_out out{};
    out.size = sizeof(out);
    const long attach = QUILLNET_CALL(m_context, CLIENT_AttachVK, GetLoginHandle(), &in, &out, timeoutMs);
    if (attach != 0 && delegate != nullptr && !delegate->empty()) {
        (*delegate)(out.data + kVKFirstOffset, kVKFirstLength, out.data + kVKSecondOffset, kVKSecondLength);
    }
    return attach;
}

bool CQuillnetDev::DetachVK(long attachHandle)
{
    QUILLNET_CALL(m_context, CLIENT_DetachVK, attachHandle);
    return true;
}

}  // namespace Tolvane
