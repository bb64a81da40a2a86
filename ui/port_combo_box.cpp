#include "ui/port_combo_box.h"

#include "ports/device_names.h"
#include "ui/device_text.h"

namespace {
constexpr int kPortCount = 64;
}

CPortComboBox::CPortComboBox(QWidget* parent) : QComboBox(parent) {}

void CPortComboBox::FillPorts() {
    clear();
    for (int n = 1; n <= kPortCount; ++n) addItem(QStringLiteral("COM%1").arg(n));
    setCurrentIndex(-1);
    RefreshDeviceTips();
}

void CPortComboBox::RefreshDeviceTips() {
    for (int i = 0; i < count(); ++i) setItemData(i, DeviceTip(itemText(i)), Qt::ToolTipRole);
}

QString CPortComboBox::DeviceTip(const QString& portName) {
    const std::string name = ToDeviceText(portName);
    const QString path = FromDeviceText(rtq::DevicePathForPort(name));
    return rtq::PortDevicePresent(name) ? QStringLiteral("%1 (present)").arg(path)
                                        : QStringLiteral("%1 (not present)").arg(path);
}

void CPortComboBox::showPopup() {
    RefreshDeviceTips();
    QComboBox::showPopup();
}
