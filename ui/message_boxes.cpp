#include "ui/message_boxes.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QLabel>
#include <QWidget>

QString ApplicationName() {
    return QFileInfo(QCoreApplication::applicationFilePath()).fileName();
}

void ShowMessageBox(QWidget* owner, const QString& text, QMessageBox::Icon icon,
                    const QString& informative) {
    QWidget* parent = (owner && owner->isVisible()) ? owner : nullptr;
    QMessageBox box(icon, ApplicationName(), text, QMessageBox::Ok, parent);
    box.setObjectName(QLatin1String(kMessageBoxName));
    // Names, PIN codes and paths come from outside; never render them as markup.
    box.setTextFormat(Qt::PlainText);
    if (!informative.isEmpty()) {
        box.setInformativeText(informative);
        // The text format above covers the main text only.
        if (auto* label = box.findChild<QLabel*>(QStringLiteral("qt_msgbox_informativelabel")))
            label->setTextFormat(Qt::PlainText);
    }
    box.exec();
}
