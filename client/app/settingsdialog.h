#pragma once

#include <QDialog>

class QCheckBox;
class QLabel;
class QPushButton;

// The settings dialog: compatibility mode (used from the next start) and GPU
// decoding (used at once through SetGPUEnable). Every change is written to
// "config/setting.ini" or "config/baseConfig.ini" straight away; closing only
// hides the dialog.
class Settings : public QDialog
{
    Q_OBJECT

public:
    // compatibilityMode: the mode the client is running in.
    Settings(bool compatibilityMode, QWidget* parent = nullptr);

    QCheckBox* CompatibilityBox() const { return m_compatibilityBox; }
    QCheckBox* GpuBox() const { return m_gpuBox; }
    QLabel* ChangedTip() const { return m_changedTip; }

signals:
    void SetGPUEnable(bool on);

public slots:
    void enableCompatibilityMode(bool on);
    void enableGPUEncodeMode(bool on);

private:
    void BuildForm();

    const bool m_compatibilityMode;
    QCheckBox* m_compatibilityBox = nullptr;
    QCheckBox* m_gpuBox = nullptr;
    QPushButton* m_closeButton = nullptr;
    QLabel* m_changedTip = nullptr;
};
