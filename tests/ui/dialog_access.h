#pragma once
// The main dialog's inner state for tests: the dialog befriends this type,
// so a test can read (and set up) what no operator reaches directly.

#include <QFile>
#include <QString>

#include "ui/device_text.h"
#include "ui/flash_dlg.h"

struct FlashDlgTestAccess {
    template <class D>
    static auto& m_aModels(D& d) {
        return d.m_aModels;
    }
    template <class D>
    static auto& m_aTypes(D& d) {
        return d.m_aTypes;
    }
    template <class D>
    static auto& m_bBluetooth(D& d) {
        return d.m_bBluetooth;
    }
    template <class D>
    static auto& m_bFont(D& d) {
        return d.m_bFont;
    }
    template <class D>
    static auto& m_bFriendlyName(D& d) {
        return d.m_bFriendlyName;
    }
    template <class D>
    static auto& m_bPinCode(D& d) {
        return d.m_bPinCode;
    }
    template <class D>
    static auto& m_bSerial(D& d) {
        return d.m_bSerial;
    }
    template <class D>
    static auto& m_btnBrowse(D& d) {
        return d.m_btnBrowse;
    }
    template <class D>
    static auto& m_btnExit(D& d) {
        return d.m_btnExit;
    }
    template <class D>
    static auto& m_btnFlash(D& d) {
        return d.m_btnFlash;
    }
    template <class D>
    static auto& m_cbBaud(D& d) {
        return d.m_cbBaud;
    }
    template <class D>
    static auto& m_cbParity(D& d) {
        return d.m_cbParity;
    }
    template <class D>
    static auto& m_cbPort(D& d) {
        return d.m_cbPort;
    }
    template <class D>
    static auto& m_cbStopBits(D& d) {
        return d.m_cbStopBits;
    }
    template <class D>
    static auto& m_cbType(D& d) {
        return d.m_cbType;
    }
    template <class D>
    static auto& m_editDataBits(D& d) {
        return d.m_editDataBits;
    }
    template <class D>
    static auto& m_editDataFlow(D& d) {
        return d.m_editDataFlow;
    }
    template <class D>
    static auto& m_editFile(D& d) {
        return d.m_editFile;
    }
    template <class D>
    static auto& m_editFriendlyName(D& d) {
        return d.m_editFriendlyName;
    }
    template <class D>
    static auto& m_editPinCode(D& d) {
        return d.m_editPinCode;
    }
    template <class D>
    static auto& m_lstFields(D& d) {
        return d.m_lstFields;
    }
    template <class D>
    static auto& m_lstModelStarts(D& d) {
        return d.m_lstModelStarts;
    }
    template <class D>
    static auto& m_nBaud(D& d) {
        return d.m_nBaud;
    }
    template <class D>
    static auto& m_nFirstSector(D& d) {
        return d.m_nFirstSector;
    }
    template <class D>
    static auto& m_nModelStart(D& d) {
        return d.m_nModelStart;
    }
    template <class D>
    static auto& m_nStopBits(D& d) {
        return d.m_nStopBits;
    }
    template <class D>
    static auto& m_nTypeCount(D& d) {
        return d.m_nTypeCount;
    }
    template <class D>
    static auto& m_pSectorMap(D& d) {
        return d.m_pSectorMap;
    }
    template <class D>
    static auto& m_run(D& d) {
        return d.m_run;
    }
    // The chosen data file's name as the file box shows it and its path.
    template <class D>
    static QString m_strFileName(D& d) {
        return FromDeviceText(d.m_strFileName);
    }
    template <class D>
    static QString m_strFilePath(D& d) {
        return QFile::decodeName(d.m_strFilePath.c_str());
    }
    // What Browse leaves behind once the operator picked this file.
    template <class D>
    static void UseFile(D& d, const QString& path) {
        d.UseDataFile(path);
        d.ShowDataFile();
    }
    template <class D>
    static auto& m_strParity(D& d) {
        return d.m_strParity;
    }
    template <class D>
    static auto& m_strPort(D& d) {
        return d.m_strPort;
    }
    template <class D>
    static auto& m_vecWorkerMessages(D& d) {
        return d.m_vecWorkerMessages;
    }
};
