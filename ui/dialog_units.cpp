#include "ui/dialog_units.h"

#include <QFontMetrics>

namespace {

// Rounded a * b / c, as the dialog manager scales coordinates.
int MulDiv(int a, int b, int c) {
    const long long p = static_cast<long long>(a) * b;
    return static_cast<int>(p >= 0 ? (p + c / 2) / c : (p - c / 2) / c);
}

}  // namespace

CDialogUnits::CDialogUnits(const QFont& font) {
    const QFontMetrics fm(font);
    const int letters = fm.horizontalAdvance(
        QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    m_baseX = (letters / 26 + 1) / 2;
    m_baseY = fm.height();
    // A font that reports nothing usable falls back to the 8-point metrics.
    if (m_baseX <= 0 || m_baseY <= 0) {
        m_baseX = 6;
        m_baseY = 13;
    }
}

CDialogUnits::CDialogUnits(int baseX, int baseY) : m_baseX(baseX), m_baseY(baseY) {}

int CDialogUnits::X(int du) const { return MulDiv(du, m_baseX, 4); }

int CDialogUnits::Y(int du) const { return MulDiv(du, m_baseY, 8); }

QRect CDialogUnits::Rect(int x, int y, int width, int height) const {
    return QRect(X(x), Y(y), X(width), Y(height));
}

QFont DialogFont() {
    QFont font(QStringLiteral("MS Sans Serif"));
    font.setStyleHint(QFont::SansSerif);
    font.setPointSize(8);
    return font;
}
