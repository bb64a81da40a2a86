#pragma once
// A main dialog as start-up leaves it: table parsed, model selected, shown
// application-modal as the program runs it; and the operator's mouse.

#include <memory>

#include <QAbstractButton>
#include <QComboBox>
#include <QDir>
#include <QRadioButton>
#include <QStandardPaths>
#include <QTest>
#include <QWindow>

#include "ui/flash_dlg.h"
#include "ui/port_combo_box.h"

namespace rtq::test {

inline std::unique_ptr<CFlashDlg> ShownDialog(const std::string* table = nullptr) {
    auto dlg = std::make_unique<CFlashDlg>();
    if (table) dlg->SetModelTableText(*table);
    if (dlg->ParseModelTable() != 0 || dlg->SelectModel() != 1) return nullptr;
    // What exec() does, without its own event loop.
    dlg->setWindowModality(Qt::ApplicationModal);
    dlg->show();
    return dlg;
}

// A left click on a widget, sent to its window as the window system would
// send it: a window blocked by a modal one never sees it, and the widget
// under the point receives it. A radio button is clicked on its circle,
// near its left edge.
inline void Press(QWidget* w, QPoint at = QPoint()) {
    QVERIFY(w);
    if (at.isNull())
        at = qobject_cast<QRadioButton*>(w) ? QPoint(6, w->height() / 2) : w->rect().center();
    QWindow* window = w->window()->windowHandle();
    QVERIFY2(window && window->isVisible(), "the widget's window is not shown");
    QTest::mouseClick(window, Qt::LeftButton, Qt::NoModifier,
                      window->mapFromGlobal(w->mapToGlobal(at)));
}

// A key pressed while the widget's window has the keyboard.
inline void KeyTo(QWidget* w, Qt::Key key) {
    QWindow* window = w->window()->windowHandle();
    QVERIFY2(window && window->isVisible(), "the widget's window is not shown");
    QTest::keyClick(window, key);
}

// The operator picks an item of a list (what the list reports for a user's choice).
inline void Choose(QComboBox* cb, const QString& text) {
    const int i = cb->findText(text);
    QVERIFY2(i >= 0, qPrintable(text));
    cb->setCurrentIndex(i);
    emit cb->activated(i);
}

inline QStringList Items(const QComboBox* cb) {
    QStringList items;
    for (int i = 0; i < cb->count(); ++i) items << cb->itemText(i);
    return items;
}

}  // namespace rtq::test
