#pragma once

#include <QDialog>

#include <functional>

namespace Ui {
class aboutInfo;
}

// The about box: logo, product name, about text and the installed version.
class aboutInfo final : public QDialog
{
    Q_OBJECT

public:
    // versionSource gives the installed version each time the box is shown;
    // by default "App/SetupVersion" of "/config/version.ini".
    explicit aboutInfo(QWidget* parent, std::function<QString()> versionSource = {});
    ~aboutInfo() override;
    aboutInfo(const aboutInfo&) = delete;
    aboutInfo& operator=(const aboutInfo&) = delete;

    QString VersionText() const;

protected:
    void showEvent(QShowEvent* event) override;

private:
    Ui::aboutInfo* m_ui;
    std::function<QString()> m_versionSource;
};
