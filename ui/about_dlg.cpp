#include "ui/about_dlg.h"

#include <algorithm>

#include <QLabel>
#include <QPushButton>

#include "dialog/dialog_texts.h"
#include "ui/app_art.h"
#include "ui/dialog_units.h"

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent) {
    setFont(DialogFont());
    setWindowTitle(QStringLiteral(RTQ_TITLE_ABOUT));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    const CDialogUnits du(font());

    auto* picture = new QLabel(this);
    picture->setObjectName(QStringLiteral("about_bitmap"));
    const QPixmap bitmap = AboutBitmap();
    picture->setPixmap(bitmap);
    picture->setGeometry(du.X(10), du.Y(10), bitmap.width(), bitmap.height());

    const int textX = du.X(10) + bitmap.width() + du.X(10);
    const char* lines[] = {RTQ_TITLE_MAIN, RTQ_ABOUT_MAKER, RTQ_ABOUT_LINE};
    int y = du.Y(12);
    int textWidth = du.X(150);
    for (const char* line : lines) {
        auto* label = new QLabel(QString::fromLatin1(line), this);
        if (line == lines[0]) {  // the product line stands out
            QFont bold = label->font();
            bold.setBold(true);
            label->setFont(bold);
        }
        textWidth = std::max(textWidth, label->fontMetrics().horizontalAdvance(label->text()) + du.X(2));
        label->move(textX, y);
        y += du.Y(13);
    }
    for (QLabel* label : findChildren<QLabel*>())
        if (label != picture) label->resize(textWidth, du.Y(10));

    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setDefault(true);
    const int width = textX + textWidth + du.X(10);
    ok->setGeometry(width - du.X(10) - du.X(50), y + du.Y(4), du.X(50), du.Y(14));
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);

    const int height = std::max(ok->geometry().bottom(), picture->geometry().bottom()) + du.Y(8);
    setFixedSize(width, height);
}
