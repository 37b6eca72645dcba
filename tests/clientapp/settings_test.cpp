#include "appfolder.h"
#include "settingsdialog.h"
#include "windowfixture.h"

#include <foundation/HostContext.h>

#include <QCheckBox>
#include <QLabel>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// A stored key as its text, "" when absent.
QString Stored(const char* file, const char* key)
{
    const QSettings settings(AppFolder::SettingsFile(QString::fromLatin1(file)), QSettings::IniFormat);
    return settings.value(QString::fromLatin1(key)).toString();
}

void Store(const char* file, const char* key, const QVariant& value)
{
    QSettings settings(AppFolder::SettingsFile(QString::fromLatin1(file)), QSettings::IniFormat);
    settings.setValue(QString::fromLatin1(key), value);
}

// A fresh application folder for each dialog.
class SettingsDialogTest : public ::testing::Test
{
protected:
    void SetUp() override { AppFolder::Set(m_folder.path()); }
    void TearDown() override { AppFolder::Set(QString()); }

    QTemporaryDir m_folder;
};

// What the dialog shows at start for the running mode and the stored keys.
TEST_F(SettingsDialogTest, StartStateFollowsTheRunningModeAndTheStoredKeys)
{
    struct Case
    {
        bool runningCompatible;
        QVariant gpuShow;    // invalid: absent
        QVariant gpuEnable;  // invalid: absent
        bool compatibleChecked;
        bool gpuShown;
        bool gpuEnabled;
        bool gpuChecked;
    };
    const std::vector<Case> cases = {
        {false, QVariant(), QVariant(), false, false, true, false},
        {false, true, false, false, true, true, false},
        {false, true, true, false, true, true, true},
        {false, false, true, false, false, true, true},
        {true, true, true, true, true, false, false},
        {true, true, false, true, true, false, false},
    };
    for (const Case& c : cases) {
        QTemporaryDir folder;
        AppFolder::Set(folder.path());
        if (c.gpuShow.isValid())
            Store("baseConfig", "Config/GPU_SHOW", c.gpuShow);
        if (c.gpuEnable.isValid())
            Store("baseConfig", "Config/GPU_ENABLE", c.gpuEnable);
        // The stored compatibility key is not what the box shows.
        Store("setting", "App/CompatibilityMode", !c.runningCompatible);

        Settings dialog(c.runningCompatible);
        const std::string name = std::to_string(&c - cases.data());
        EXPECT_EQ(dialog.CompatibilityBox()->isChecked(), c.compatibleChecked) << name;
        EXPECT_EQ(!dialog.GpuBox()->isHidden(), c.gpuShown) << name;
        EXPECT_EQ(dialog.GpuBox()->isEnabled(), c.gpuEnabled) << name;
        EXPECT_EQ(dialog.GpuBox()->isChecked(), c.gpuChecked) << name;
        EXPECT_TRUE(dialog.ChangedTip()->isHidden()) << name;
        // Opening the dialog changes no stored key.
        EXPECT_EQ(Stored("baseConfig", "Config/GPU_ENABLE"), c.gpuEnable.toString()) << name;
        EXPECT_EQ(Stored("setting", "App/CompatibilityMode"), QVariant(!c.runningCompatible).toString()) << name;
    }
}

TEST_F(SettingsDialogTest, CompatibilityClicksWriteTheKeysAndSwitchGpuOff)
{
    Store("baseConfig", "Config/GPU_ENABLE", true);  // "Config/GPU_SHOW" absent: the box is hidden
    Settings dialog(false);
    QSignalSpy gpu(&dialog, &Settings::SetGPUEnable);
    ASSERT_TRUE(dialog.GpuBox()->isHidden());

    dialog.CompatibilityBox()->click();
    EXPECT_EQ(Stored("setting", "App/CompatibilityMode"), "true");
    EXPECT_FALSE(dialog.ChangedTip()->isHidden());
    EXPECT_FALSE(dialog.GpuBox()->isEnabled());
    EXPECT_FALSE(dialog.GpuBox()->isChecked());
    EXPECT_EQ(Stored("baseConfig", "Config/GPU_ENABLE"), "false");
    ASSERT_EQ(gpu.size(), 1);
    EXPECT_EQ(gpu.takeFirst().at(0), "false");

    dialog.CompatibilityBox()->click();
    EXPECT_EQ(Stored("setting", "App/CompatibilityMode"), "false");
    EXPECT_TRUE(dialog.ChangedTip()->isHidden());
    EXPECT_TRUE(dialog.GpuBox()->isEnabled());
    EXPECT_TRUE(gpu.isEmpty());
}

TEST_F(SettingsDialogTest, RunningCompatibleTheGpuBoxWaitsForCompatibilityOff)
{
    Store("baseConfig", "Config/GPU_SHOW", true);
    Settings dialog(true);
    QSignalSpy gpu(&dialog, &Settings::SetGPUEnable);
    ASSERT_FALSE(dialog.GpuBox()->isEnabled());

    dialog.CompatibilityBox()->click();
    EXPECT_FALSE(dialog.ChangedTip()->isHidden());
    EXPECT_EQ(Stored("setting", "App/CompatibilityMode"), "false");
    ASSERT_TRUE(dialog.GpuBox()->isEnabled());

    dialog.GpuBox()->click();
    EXPECT_EQ(Stored("baseConfig", "Config/GPU_ENABLE"), "true");
    dialog.GpuBox()->click();
    EXPECT_EQ(Stored("baseConfig", "Config/GPU_ENABLE"), "false");
    ASSERT_EQ(gpu.size(), 2);
    EXPECT_EQ(gpu.at(0).at(0), "true");
    EXPECT_EQ(gpu.at(1).at(0), "false");
}

TEST_F(SettingsDialogTest, ClosingOnlyHides)
{
    Settings dialog(false);
    dialog.show();
    QTest::mouseClick(dialog.findChild<QWidget*>(QStringLiteral("closeButton")), Qt::LeftButton);
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(dialog.result(), QDialog::Rejected);
}

struct GpuListener
{
    void OnGpu(bool on) { changes.push_back(on); }
    std::vector<bool> changes;
};

// A dialog opened before the first page load still reaches the modules after it.
TEST(SettingsInTheWindow, GpuChangesReachTheModulesWhenTheDialogCameFirst)
{
    WindowFixture fixture({"Brevix", "", "-Hf"}, false);
    Store("baseConfig", "Config/GPU_SHOW", true);
    MainWindow& window = fixture.Window();
    window.ShowSettings();
    Settings* dialog = window.SettingsDialog();
    ASSERT_NE(dialog, nullptr);
    EXPECT_TRUE(dialog->isVisible());
    dialog->GpuBox()->click();
    EXPECT_EQ(Stored("baseConfig", "Config/GPU_ENABLE"), "true");

    fixture.LoadBlank();
    GpuListener listener;
    Foundation::Any handler(fastdelegate::MakeDelegate(&listener, &GpuListener::OnGpu));
    ASSERT_TRUE(window.Bridge()->Context()->ConnectSignal("GPU_Change", &handler));

    dialog->GpuBox()->click();
    dialog->GpuBox()->click();
    EXPECT_EQ(listener.changes, (std::vector<bool>{false, true}));

    // The same dialog comes back on the next opening.
    dialog->close();
    window.ShowSettings();
    EXPECT_EQ(window.SettingsDialog(), dialog);
    EXPECT_TRUE(dialog->GpuBox()->isChecked());
    window.Bridge()->Context()->DisconnectSignal("GPU_Change", &handler);
}

}  // namespace
