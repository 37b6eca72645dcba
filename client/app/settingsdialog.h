#pragma once

#include <QDialog>

class QCheckBox;

// Settings: GPU decoding (off and fixed in compatibility mode).
class Settings : public QDialog
{
    Q_OBJECT

public:
    Settings(bool compatibilityMode, QWidget* parent = nullptr);

signals:
    void SetGPUEnable(bool enable);

private:
    void Save();

    QCheckBox* m_gpu = nullptr;
};
