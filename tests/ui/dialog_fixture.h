#pragma once
// A main dialog as start-up leaves it: table parsed, model selected, shown.

#include <memory>

#include <QAbstractButton>
#include <QComboBox>
#include <QDir>
#include <QStandardPaths>
#include <QTest>

#include "ui/flash_dlg.h"
#include "ui/port_combo_box.h"

namespace rtq::test {

inline std::unique_ptr<CFlashDlg> ShownDialog(const std::string* table = nullptr) {
    auto dlg = std::make_unique<CFlashDlg>();
    if (table) dlg->SetModelTableText(*table);
    if (dlg->ParseModelTable() != 0 || dlg->SelectModel() != 1) return nullptr;
    dlg->show();
    return dlg;
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
