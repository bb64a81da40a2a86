#include "ui/message_boxes.h"

#include <cstdio>

#include <QApplication>
#include <QDialog>
#include <QFileInfo>
#include <QLabel>
#include <QWidget>

namespace {

// User-interface thread only.
bool g_bBoxesSuppressed = false;

}  // namespace

QString ApplicationName() {
    return QFileInfo(QCoreApplication::applicationFilePath()).fileName();
}

void ShowMessageBox(QWidget* owner, const QString& text, QMessageBox::Icon icon,
                    const QString& informative) {
    if (g_bBoxesSuppressed) {
        const QString line = informative.isEmpty() ? text : text + QLatin1Char('\n') + informative;
        std::fprintf(stderr, "%s: %s\n", qPrintable(ApplicationName()), qPrintable(line));
        return;
    }
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

void SuppressMessageBoxes(bool suppress) { g_bBoxesSuppressed = suppress; }

void CloseModalBoxes(const QWidget* keep) {
    while (QWidget* top = QApplication::activeModalWidget()) {
        if (top == keep) return;
        if (auto* dialog = qobject_cast<QDialog*>(top))
            dialog->reject();
        else
            top->close();
        // A box that refuses to go would otherwise be met again and again.
        if (top->isVisible()) return;
    }
}
