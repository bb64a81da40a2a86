// The model table in the dialog: parsing, the model, its download types,
// and mapping a type text back to its kind and first sector.

#include <charconv>
#include <string>
#include <vector>

#include "dialog/control_ids.h"
#include "dialog/flash_dlg_core.h"
#include "dialog/no_case.h"
#include "engine/sector_sizes.h"

namespace {

// The whole text as a decimal number.
bool ParseInt(const std::string& text, int* value) {
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, *value);
    return ec == std::errc() && ptr == end && !text.empty();
}

}  // namespace

int CFlashDlgCore::ParseModelTable() {
    m_nModelCount = 1;
    // The end markers; every field goes in front of them.
    m_lstFields = {std::string()};
    m_lstModelStarts = {std::string()};

    std::vector<std::string> fields;
    std::vector<int> starts;
    // A text that ends before a model's "." is refused as a whole.
    if (!SplitModelTable(m_strModelTable, m_nModelCount, &fields, &starts)) return 1;
    m_lstFields.insert(m_lstFields.end() - 1, fields.begin(), fields.end());
    for (int s : starts) m_lstModelStarts.insert(m_lstModelStarts.end() - 1, std::to_string(s));
    return 0;
}

int CFlashDlgCore::SelectModel() {
    if (m_lstFields.empty() || m_lstModelStarts.empty()) return 0;
    if (m_lstModelStarts.size() >= static_cast<size_t>(kMaxModels)) return 0;
    const std::string& start = m_lstModelStarts.front();
    int index = 0;
    // The name must be a parsed field, never the end marker or beyond.
    if (!ParseInt(start, &index) || index < 0 || static_cast<size_t>(index) >= m_lstFields.size() - 1)
        return 0;
    m_aModels[0].strStart = start;
    m_aModels[0].strName = m_lstFields.at(static_cast<size_t>(index));
    return 1;
}

int CFlashDlgCore::LoadModelTypes(int nFields) {
    if (nFields < 0) return 0;
    const long first = m_nModelStart + 1;
    const long available = static_cast<long>(m_lstFields.size()) - 1 - first;  // up to the end marker
    const long count = nFields == 0 ? available : nFields - 1;
    if (first < 0 || count < 0 || count > available) return 0;
    if (count % 3 != 0 || count / 3 > kMaxTypes) return 0;
    m_nTypeCount = static_cast<int>(count / 3);
    for (int t = 0; t < m_nTypeCount; ++t) {
        const size_t f = static_cast<size_t>(first + 3 * t);
        m_aTypes[t] = DownloadTypeEntry{m_lstFields.at(f), m_lstFields.at(f + 1), m_lstFields.at(f + 2)};
    }
    return 1;
}

int CFlashDlgCore::LoadDownloadTypes() {
    m_nModelStart = 0;
    m_pSectorMap = g_aSectorSizes;
    if (!LoadModelTypes(0)) {
        ReportResult(1024);
        return 1024;
    }
    std::vector<std::string> names;
    for (int t = 0; t < m_nTypeCount; ++t) names.push_back(m_aTypes[t].strName);
    View().FillList(IDC_TYPE, names);

    View().SelectIndex(IDC_BAUD, 2);
    View().SelectIndex(IDC_STOPBITS, 0);
    View().SelectIndex(IDC_PARITY, 0);
    View().SetText(IDC_DATABITS, "8");
    View().SetText(IDC_DATAFLOW, "DTR / DSR");
    View().SetFocus(IDC_TYPE);
    return 1;
}

bool CFlashDlgCore::FindDownloadType(const std::string& text, DownloadKind* kind,
                                     int* firstSector) const {
    for (int t = 0; t < m_nTypeCount; ++t) {
        const DownloadTypeEntry& type = m_aTypes[t];
        if (!EqualsNoCase(type.strName, text)) continue;
        // A field that is not a number counts as sector 0.
        int sector = 0;
        *firstSector = ParseInt(type.strFirstSector, &sector) ? sector : 0;
        *kind = KindFromLetter(type.strKind);
        return true;
    }
    return false;
}
