#pragma once
// A device logged in to the scripted device library, served to the services through a
// device manager in the test host, and a temporary folder for downloaded files.

#include <fstream>
#include <iterator>
#include <string>

#include <QTemporaryDir>

#include <foundation/HostCalls.h>
#include <foundation/JsonRead.h>
#include <foundation/TypeNames.h>

#include <tolvane/IDeviceMgr.h>

#include "streamsink.h"

namespace dltest {

class FixedDeviceMgr : public Tolvane::IDeviceMgr {
public:
    explicit FixedDeviceMgr(Tolvane::IDevice* device) : m_device(device) {}
    bool SetCGISessionID(int) override { return true; }
    Tolvane::IDevice* GetDevice() override { return m_device; }
    Tolvane::IDevice* GetDevice(long) override { return m_device; }
    bool LogoutDevice() override { return true; }
    Tolvane::IDevice* GetCurrentDevice() override { return m_device; }

private:
    Tolvane::IDevice* m_device;
};

inline void RegisterDevice(HostContext* context, Tolvane::IDevice* device)
{
    Foundation::CSharedPtr<Tolvane::IDeviceMgr> manager(new FixedDeviceMgr(device));
    Foundation::RegisterHostObject(context, Foundation::TypeName::IDeviceMgr, manager);
}

inline std::string ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void WriteFile(const std::string& path, const std::string& bytes)
{
    std::ofstream out(path, std::ios::binary);
    out << bytes;
}

inline Json::Value Parse(const std::string& text)
{
    Json::Value value;
    Foundation::JsonParse(text, value);
    return value;
}

class DownloadTest : public devtest::ScriptedDeviceTest {
protected:
    void SetUp() override
    {
        devtest::ScriptedDeviceTest::SetUp();
        ASSERT_TRUE(m_dir.isValid());
        RegisterDevice(Context(), &Device());
    }
    std::string Folder() const { return m_dir.path().toStdString(); }

private:
    QTemporaryDir m_dir;
};

}  // namespace dltest
