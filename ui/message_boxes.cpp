#include "ui/message_boxes.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QWidget>

QString ApplicationName() {
    return QFileInfo(QCoreApplication::applicationFilePath()).fileName();
}

void ShowMessageBox(QWidget* owner, const QString& text, QMessageBox::Icon icon) {
    QWidget* parent = (owner && owner->isVisible()) ? owner : nullptr;
    QMessageBox box(icon, ApplicationName(), text, QMessageBox::Ok, parent);
    box.setObjectName(QLatin1String(kMessageBoxName));
    // Names and PIN codes come from the operator; never render them as markup.
    box.setTextFormat(Qt::PlainText);
    box.exec();
}
