#pragma once
// The COM port list. Items keep the names "COM1".."COM64"; each item's tip
// names its Linux device and whether it is present, refreshed whenever the
// list is filled or opened.

#include <QComboBox>

class CPortComboBox : public QComboBox {
    Q_OBJECT

public:
    explicit CPortComboBox(QWidget* parent = nullptr);

    // Replaces the items by COM1..COM64, none selected.
    void FillPorts();
    void RefreshDeviceTips();

    static QString DeviceTip(const QString& portName);

    void showPopup() override;
};
