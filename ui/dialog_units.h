#pragma once
// Dialog units to pixels. The layout is given in dialog units of the
// dialog font; the base units come from that font's metrics the way the
// classic dialog manager computes them (average letter width, line height),
// so the layout keeps its proportions whichever font stands in.

#include <QFont>
#include <QRect>

class CDialogUnits {
public:
    explicit CDialogUnits(const QFont& font);
    CDialogUnits(int baseX, int baseY);

    int BaseX() const { return m_baseX; }
    int BaseY() const { return m_baseY; }

    // Horizontal dialog units (a quarter of the base width each).
    int X(int du) const;
    // Vertical dialog units (an eighth of the base height each).
    int Y(int du) const;
    QRect Rect(int x, int y, int width, int height) const;

private:
    int m_baseX;
    int m_baseY;
};

// The font of the main and About dialogs: "MS Sans Serif" 8 points, or the
// sans-serif face the font system substitutes for it.
QFont DialogFont();
