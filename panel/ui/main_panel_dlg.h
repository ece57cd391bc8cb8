// The main dialog: the touch-screen list with its calibration picture, and the Calibrate,
// Settings, Reset and About actions, each after a check that the driver answers.
#pragma once

#include "ce/ui/framework.h"
#include "protocol/device_config.h"

// The open calibration dialog, null while no calibration runs.
extern CDialog* CalibrateDialog;

class CMainPanelDlg : public CDialog {
  public:
    explicit CMainPanelDlg(CWnd* pParent = nullptr);
    ~CMainPanelDlg() override;

  protected:
    void DoDataExchange(CDataExchange* pDX) override;
    BOOL OnInitDialog() override;

    void OnBnClickedCalibrate();
    void OnBnClickedSettings();
    void OnBnClickedAbout();
    void OnBnClickedReset();
    void OnBnClickedExit();
    void OnLvnItemchangedList(NMHDR* pNMHDR, LRESULT* pResult);
    LRESULT OnCalibrationEnd(WPARAM wParam, LPARAM lParam);
    LRESULT OnConnectionLost(WPARAM wParam, LPARAM lParam);

    BOOL IsDeviceReady();
    void FillScreenList();

    HICON m_hIcon;
    CImageList m_ImageList;
    ots::DeviceConfig m_DeviceConfig{};
    INT32 m_nSelectedItem = 0;
    CListCtrl m_ScreenList;
    INT32 m_nScreenCount = 0;
    UINT16 m_VendorId = 0;
    UINT16 m_ProductId = 0;

    DECLARE_MESSAGE_MAP()

  private:
    // A failed readiness probe: the message, then the program ends.
    void EndForLostDevice(LPCWSTR lpszMessage);
};
