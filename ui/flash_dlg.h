#pragma once
// The main dialog in Qt: the view of the toolkit-free dialog. It creates
// and draws the controls, forwards the operator's actions to the handlers
// of CFlashDlgCore and carries the workers' calls over to its thread.

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <QDialog>
#include <QIcon>
#include <QPointer>
#include <QString>

#include "dialog/flash_dlg_base.h"
#include "ui/dialog_units.h"

class QComboBox;
class QLineEdit;
class QPushButton;
class QRadioButton;

class CGuiCallQueue;
class CPortComboBox;
class CTransmitDlg;

class CFlashDlg : public QDialog, public CFlashDlgBase {
    Q_OBJECT
    // Tests look inside.
    friend struct FlashDlgTestAccess;

public:
    explicit CFlashDlg(QWidget* parent = nullptr);
    ~CFlashDlg() override;

    // The control with this identifier, or nullptr.
    QWidget* Control(int id) const;
    // The layout's dialog units.
    const CDialogUnits& Units() const { return m_units; }

    // Dialog handlers (the others are the toolkit-free ones).
    virtual bool OnInitDialog();
    void OnAbout();
    void OnBrowse();

    // The open progress window, or nullptr.
    CTransmitDlg* ProgressDlg() const;

    // The dialog ends only through OnOK, OnCancel and OnExit; the first
    // show runs OnInitDialog.
    void accept() override;
    void reject() override;
    void setVisible(bool visible) override;

protected:
    // Opens a chosen data file to prove it can be read; on failure the
    // system's description of the error. A seam for tests.
    virtual bool TryOpenDataFile(const QString& path, QString* errorText);

private:
    // Controls with members.
    QRadioButton* m_btnSerial = nullptr;
    QComboBox* m_cbType = nullptr;
    CPortComboBox* m_cbPort = nullptr;
    QComboBox* m_cbBaud = nullptr;
    QComboBox* m_cbParity = nullptr;
    QComboBox* m_cbStopBits = nullptr;
    QLineEdit* m_editDataBits = nullptr;
    QLineEdit* m_editDataFlow = nullptr;
    QLineEdit* m_editFile = nullptr;
    QPushButton* m_btnBrowse = nullptr;
    QLineEdit* m_editPinCode = nullptr;
    QLineEdit* m_editFriendlyName = nullptr;
    QPushButton* m_btnFlash = nullptr;
    QPushButton* m_btnExit = nullptr;

    QIcon m_hIcon;

    void CreateControls();
    void RegisterControl(QWidget* w, int id);
    // The file at this path is the chosen data file.
    void UseDataFile(const QString& path);

    // The view of the toolkit-free dialog.
    void EnableControl(int id, bool enable) override;
    bool IsChecked(int id) const override;
    std::string GetText(int id) const override;
    void SetText(int id, const std::string& text) override;
    void FillList(int id, const std::vector<std::string>& items) override;
    int SelectedIndex(int id) const override;
    void SelectIndex(int id, int index) override;
    void RemoveItem(int id, int index) override;
    void SetItemTip(int id, int index, const std::string& tip) override;
    void SetFocus(int id) override;
    void SetTextLimit(int id, int limit) override;
    void ShowBox(const std::string& text, BoxIcon icon, const std::string& hint) override;
    void SuppressBoxes(bool suppress) override;
    void CloseBoxes() override;
    void EndDialog(int code) override;
    void OpenProgress(bool cancelEnabled) override;
    void CloseProgress() override;
    void DestroyProgress() override;
    IProgressWindow* ProgressWindow() const override;

    // Where the file dialog was last left in this session.
    QString m_strLastBrowsedFolder;
    // The progress window is a child of the dialog and deletes itself once
    // closed; the guard also clears if it goes any other way.
    QPointer<CTransmitDlg> m_pTransmitDlg;

    std::map<int, QWidget*> m_controls;
    CDialogUnits m_units;
    std::unique_ptr<CGuiCallQueue> m_pCalls;
    bool m_bInitialized = false;
};
