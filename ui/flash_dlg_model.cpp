// The model table in the dialog: parsing, the model, its download types,
// and mapping a type text back to its kind and first sector.

#include <vector>

#include <QComboBox>
#include <QLineEdit>

#include "engine/sector_sizes.h"
#include "ui/device_text.h"
#include "ui/flash_dlg.h"

int CFlashDlg::ParseModelTable() {
    m_nModelCount = 1;
    // The end markers; every field goes in front of them.
    m_lstFields = QStringList{QString()};
    m_lstModelStarts = QStringList{QString()};

    std::vector<std::string> fields;
    std::vector<int> starts;
    // A text that ends before a model's "." is refused as a whole.
    if (!SplitModelTable(m_strModelTable, m_nModelCount, &fields, &starts)) return 1;
    for (const std::string& f : fields) m_lstFields.insert(m_lstFields.size() - 1, FromDeviceText(f));
    for (int s : starts) m_lstModelStarts.insert(m_lstModelStarts.size() - 1, QString::number(s));
    return 0;
}

int CFlashDlg::SelectModel() {
    if (m_lstFields.isEmpty() || m_lstModelStarts.isEmpty()) return 0;
    if (m_lstModelStarts.size() >= kMaxModels) return 0;
    const QString start = m_lstModelStarts.first();
    bool ok = false;
    const int index = start.toInt(&ok);
    // The name must be a parsed field, never the end marker or beyond.
    if (!ok || index < 0 || index >= m_lstFields.size() - 1) return 0;
    m_aModels[0].strStart = start;
    m_aModels[0].strName = m_lstFields.at(index);
    return 1;
}

int CFlashDlg::LoadModelTypes(int nFields) {
    if (nFields < 0) return 0;
    const qsizetype first = m_nModelStart + 1;
    const qsizetype available = m_lstFields.size() - 1 - first;  // up to the end marker
    const qsizetype count = nFields == 0 ? available : nFields - 1;
    if (first < 0 || count < 0 || count > available) return 0;
    if (count % 3 != 0 || count / 3 > kMaxTypes) return 0;
    m_nTypeCount = static_cast<int>(count / 3);
    for (int t = 0; t < m_nTypeCount; ++t) {
        const qsizetype f = first + 3 * t;
        m_aTypes[t] = DownloadTypeEntry{m_lstFields.at(f), m_lstFields.at(f + 1), m_lstFields.at(f + 2)};
    }
    return 1;
}

int CFlashDlg::LoadDownloadTypes() {
    m_nModelStart = 0;
    m_pSectorMap = g_aSectorSizes;
    if (!LoadModelTypes(0)) {
        ReportResult(1024);
        return 1024;
    }
    m_cbType->clear();
    for (int t = 0; t < m_nTypeCount; ++t) m_cbType->addItem(m_aTypes[t].strName);
    m_cbType->setCurrentIndex(-1);

    m_cbBaud->setCurrentIndex(2);
    m_cbStopBits->setCurrentIndex(0);
    m_cbParity->setCurrentIndex(0);
    m_editDataBits->setText(QStringLiteral("8"));
    m_editDataFlow->setText(QStringLiteral("DTR / DSR"));
    m_cbType->setFocus();
    return 1;
}

bool CFlashDlg::FindDownloadType(const QString& text, DownloadKind* kind, int* firstSector) const {
    for (int t = 0; t < m_nTypeCount; ++t) {
        const DownloadTypeEntry& type = m_aTypes[t];
        if (type.strName.compare(text, Qt::CaseInsensitive) != 0) continue;
        *firstSector = type.strFirstSector.toInt();
        *kind = KindFromLetter(ToDeviceText(type.strKind));
        return true;
    }
    return false;
}
