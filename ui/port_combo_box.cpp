#include "ui/port_combo_box.h"

#include <QFont>
#include <QProxyStyle>

#include "ports/device_names.h"
#include "ui/device_text.h"

namespace {

constexpr int kPortCount = 64;
// Set on items whose tip was given to them.
constexpr int kFixedTipRole = Qt::UserRole + 1;

// Styles that open a combo box as a menu (Fusion among them) show every
// item at once, 64 ports filling the screen's height; the plain list they
// fall back to here honours the visible-row limit and scrolls.
class CListPopupStyle : public QProxyStyle {
public:
    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* returnData) const override {
        if (hint == SH_ComboBox_Popup) return 0;
        return QProxyStyle::styleHint(hint, option, widget, returnData);
    }
};

QString DeviceTip(const QString& portName, bool present) {
    const QString path = FromDeviceText(rtq::DevicePathForPort(ToDeviceText(portName)));
    return present ? QStringLiteral("%1 (present)").arg(path)
                   : QStringLiteral("%1 (not present)").arg(path);
}

}  // namespace

CPortComboBox::CPortComboBox(QWidget* parent) : QComboBox(parent) {
    auto* style = new CListPopupStyle;
    style->setParent(this);
    setStyle(style);
    setMaxVisibleItems(kVisibleRows);
}

void CPortComboBox::FillPorts() {
    clear();
    for (int n = 1; n <= kPortCount; ++n) addItem(QStringLiteral("COM%1").arg(n));
    setCurrentIndex(-1);
    RefreshDevices();
}

void CPortComboBox::RefreshDevices() {
    QFont bold = font();
    bold.setBold(true);
    for (int i = 0; i < count(); ++i) {
        if (itemData(i, kFixedTipRole).toBool()) continue;
        const bool present = rtq::PortDevicePresent(ToDeviceText(itemText(i)));
        setItemData(i, DeviceTip(itemText(i), present), Qt::ToolTipRole);
        setItemData(i, present ? QVariant(bold) : QVariant(), Qt::FontRole);
    }
}

void CPortComboBox::SetFixedTip(int index, const QString& tip) {
    setItemData(index, true, kFixedTipRole);
    setItemData(index, tip, Qt::ToolTipRole);
    setItemData(index, QVariant(), Qt::FontRole);
}

void CPortComboBox::showPopup() {
    RefreshDevices();
    QComboBox::showPopup();
}
