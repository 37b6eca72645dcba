#pragma once

#include <QDialog>

// The about box: program name and set-up version.
class aboutInfo : public QDialog
{
    Q_OBJECT

public:
    explicit aboutInfo(QWidget* parent = nullptr);
};
