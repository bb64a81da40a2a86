#pragma once
// The COM port list. Items keep the names "COM1".."COM64"; ports whose
// device exists are shown in bold and each item's tip names its Linux
// device and whether it is present, refreshed whenever the list is filled
// or opened. Items that are no COM port (a paired Bluetooth printer) keep
// the tip they were given. The open list shows at most kVisibleRows rows
// and scrolls.

#include <QComboBox>

class CPortComboBox : public QComboBox {
    Q_OBJECT

public:
    static constexpr int kVisibleRows = 16;

    explicit CPortComboBox(QWidget* parent = nullptr);

    // Replaces the items by COM1..COM64, none selected.
    void FillPorts();
    // Marks the ports whose device exists now (bold, tip).
    void RefreshDevices();
    // The item's tip from now on, never replaced by RefreshDevices.
    void SetFixedTip(int index, const QString& tip);

    void showPopup() override;
};
