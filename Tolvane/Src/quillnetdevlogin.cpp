// Login, logout and the login queries of the device object.

#include <cstring>
#include <memory>
#include <new>

#include <QDebug>

#include "logfacade.h"
#include "quillnetdev.h"
#include "quillnetsdk.h"

namespace Tolvane {

namespace {

// Answered when the library gave no handle and no reason (or could not be called at all),
// so that a failed login never reads as success.
constexpr int kLoginNotMade = -1;

// Error words whose reason the device information record details.
constexpr int kErrorBadPassword = QN_LOGIN_BAD_PASSWORD;  // + attempts left, as 100 + n
constexpr int kErrorLocked = QN_LOGIN_LOCKED;             // + seconds of the lock, as 1000 + n
constexpr int kBadPasswordBase = 100;
constexpr int kLockedBase = 1000;

constexpr int kSystemInfoSize = 2048;

const char* TextOrEmpty(const char* text)
{
    return text != nullptr ? text : "";
}

}  // namespace

int CQuillnetDev::LoginDevice(const char* ip, uint16_t port, uint16_t altPort, const char* userName,
                              const char* password, int capType, int capParam)
{
    ip = TextOrEmpty(ip);
    userName = TextOrEmpty(userName);
    password = TextOrEmpty(password);
    qDebug() << "CQuillnetDev::LoginDevice: ip:" << ip << " port:" << port << " user:" << userName;

    std::lock_guard<std::recursive_mutex> session(m_sessionLock);
    const long current = m_loginHandle.load();
    if (current != 0) {
        bool same = false;
        {
            std::lock_guard<std::mutex> texts(m_textLock);
            same = m_ip == ip && m_userName == userName && m_password == password;
        }
        if (same) {
            qDebug() << "CQuillnetDev::LoginDevice: Already login(" << current << ")";
            return 0;
        }
        LogoutLocked();
    }

    {
        std::lock_guard<std::mutex> texts(m_textLock);
        m_ip = ip;
        m_userName = userName;
        m_password = password;
    }
    m_protocol.store(capType);

    const uint16_t usedPort = altPort != 0 ? altPort : port;
    qn_device_info info{};
    int error = 0;
    int parameter = capParam;
    const long handle = QUILLNET_CALL(m_context, CLIENT_LoginEx2, ip, usedPort, userName, password, capType,
                                      static_cast<void*>(&parameter), &info, &error);
    m_loginHandle.store(handle);

    if (handle == 0) {
        if (error == kErrorBadPassword && info.lock_left != 0) {
            error = info.lock_left + kBadPasswordBase;
        } else if (error == kErrorLocked && info.locked_seconds > 0) {
            error = info.locked_seconds + kLockedBase;
        } else if (error == 0) {
            error = kLoginNotMade;
        }
    }
    qDebug() << "CQuillnetDev::LoginDevice: nError=" << error;
    return error;
}

int CQuillnetDev::LoginDeviceShort(const char* ip, uint16_t port, uint16_t altPort, const char* userName,
                                   const char* password, int capType)
{
    return LoginDevice(ip, port, altPort, userName, password, capType, 0);
}

int CQuillnetDev::GetProtocol()
{
    return m_protocol.load();
}

bool CQuillnetDev::LogoutDevice()
{
    TOLVANE_INFO("Tolvane", "Tolvane::CQuillnetDev::LogoutDevice", "");
    std::lock_guard<std::recursive_mutex> session(m_sessionLock);
    return LogoutLocked();
}

bool CQuillnetDev::LogoutLocked()
{
    const long handle = m_loginHandle.load();
    if (handle == 0) {
        return true;
    }
    // A talk of the session ends with it, its capture too.
    if (m_talkHandle.load() != 0) {
        StopTalk();
    }
    const int result = QUILLNET_CALL(m_context, CLIENT_Logout, handle);
    m_loginHandle.store(0);
    m_protocol.store(0);
    {
        std::lock_guard<std::mutex> texts(m_textLock);
        m_ip.clear();
        m_userName.clear();
        m_password.clear();
    }
    return result != 0;
}

bool CQuillnetDev::IsLogin()
{
    return m_loginHandle.load() != 0;
}

long CQuillnetDev::GetLoginHandle()
{
    return m_loginHandle.load();
}

std::string CQuillnetDev::GetDeviceIP()
{
    std::lock_guard<std::mutex> texts(m_textLock);
    return m_ip;
}

Json::Value CQuillnetDev::QuerySystemInfo()
{
    Json::Value result;
    std::unique_ptr<char[]> record(new (std::nothrow) char[kSystemInfoSize]);
    if (!record) {
        return result;
    }
    std::memset(record.get(), 0, kSystemInfoSize);
    int returned = 0;
    QUILLNET_CALL(m_context, CLIENT_QuerySystemInfo, GetLoginHandle(), QN_SYSINFO_ABILITY, record.get(),
                  kSystemInfoSize, &returned);
    qn_ability_info ability;
    static_assert(sizeof(ability) == kSystemInfoSize, "the ability record fills the answer");
    std::memcpy(&ability, record.get(), sizeof(ability));
    result["nane"] = "deviceAbility";
    result["params"]["secondaryAnalyse"] = ability.secondary_analyse;
    return result;
}

}  // namespace Tolvane
