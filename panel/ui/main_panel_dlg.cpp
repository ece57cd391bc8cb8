#include "ui/main_panel_dlg.h"

#include <cstdio>

#include "calibration/calibration_mode.h"
#include "ce/stream.h"
#include "device/device_access.h"
#include "protocol/control_codes.h"
#include "protocol/messages.h"
#include "ui/about_dlg.h"
#include "ui/calibration_hook.h"
#include "ui/resource.h"
#include "ui/settings_dlg.h"

CDialog* CalibrateDialog = nullptr;

namespace {

constexpr int kPictureWidthPx = 72;
constexpr int kPictureHeightPx = 58;
constexpr int kPictureNotCalibrated = 0;
constexpr int kPictureCalibrated = 1;

}  // namespace

CMainPanelDlg::CMainPanelDlg(CWnd* pParent) : CDialog(IDD_TSPANEL_DIALOG, pParent) {
    m_hIcon = AfxGetApp() != nullptr ? AfxGetApp()->LoadIcon(IDI_TSPANEL) : nullptr;
    CalibrateDialog = nullptr;
}

CMainPanelDlg::~CMainPanelDlg() {
    if (CalibrateDialog != nullptr) {
        delete CalibrateDialog;
        CalibrateDialog = nullptr;
    }
}

void CMainPanelDlg::DoDataExchange(CDataExchange* pDX) {
    CDialog::DoDataExchange(pDX);
    DDX_Control(pDX, IDC_LIST_SCREENS, m_ScreenList);
}

BEGIN_MESSAGE_MAP(CMainPanelDlg, CDialog)
ON_BN_CLICKED(IDC_BUTTON_CALIBRATE, &CMainPanelDlg::OnBnClickedCalibrate)
ON_BN_CLICKED(IDC_BUTTON_SETTINGS, &CMainPanelDlg::OnBnClickedSettings)
ON_BN_CLICKED(IDC_BUTTON_ABOUT, &CMainPanelDlg::OnBnClickedAbout)
ON_BN_CLICKED(IDC_BUTTON_RESET, &CMainPanelDlg::OnBnClickedReset)
ON_BN_CLICKED(IDC_BUTTON_EXIT, &CMainPanelDlg::OnBnClickedExit)
ON_NOTIFY(LVN_ITEMCHANGED, IDC_LIST_SCREENS, &CMainPanelDlg::OnLvnItemchangedList)
ON_MESSAGE(WM_CALIBRATION_END, &CMainPanelDlg::OnCalibrationEnd)
ON_MESSAGE(WM_CONNECTION_LOST, &CMainPanelDlg::OnConnectionLost)
END_MESSAGE_MAP()

BOOL CMainPanelDlg::OnInitDialog() {
    CDialog::OnInitDialog();

    SetIcon(m_hIcon, TRUE);
    SetIcon(m_hIcon, FALSE);
    m_nSelectedItem = 0;

    ots::DeviceIdentity identity{};
    if (!GetDeviceID(&identity)) {
        MessageBox(L"TouchScreen is NOT ready.", L"ERROR", MB_OK);
        EndDialog(IDOK);
        return FALSE;
    }
    m_VendorId = identity.idVendor;
    m_ProductId = identity.idProduct;
    if (!GetDeviceConfig(&m_DeviceConfig, 0, &identity)) {
        MessageBox(L"GetDeviceConfig Failed!", L"ERROR", MB_OK);
        EndDialog(IDOK);
        return FALSE;
    }
    if (EndStaleCalibration()) {
        const HWND hTaskBar = FindWindow(L"HHTaskBar", nullptr);
        if (hTaskBar != nullptr) {
            ::ShowWindow(hTaskBar, SW_SHOW);
        }
    }

    RECT rcList;
    m_ScreenList.GetClientRect(&rcList);
    const int nColumnWidth = (rcList.right - rcList.left) / 4;
    m_ScreenList.InsertColumn(0, L"Item Name", LVCFMT_LEFT, nColumnWidth);
    m_ScreenList.InsertColumn(1, L"Value", LVCFMT_LEFT, nColumnWidth);
    m_ScreenList.InsertColumn(2, L"Time", LVCFMT_LEFT, nColumnWidth);

    m_ImageList.Create(kPictureWidthPx, kPictureHeightPx, ILC_COLOR8 | ILC_MASK, 2, 1);
    CBitmap bitmap;
    bitmap.LoadBitmap(IDB_NOT_CALIBRATED);
    m_ImageList.Add(&bitmap, RGB(255, 0, 255));
    bitmap.DeleteObject();
    bitmap.LoadBitmap(IDB_CALIBRATED);
    m_ImageList.Add(&bitmap, RGB(0, 0, 0));
    bitmap.DeleteObject();
    m_ScreenList.SetImageList(&m_ImageList, LVSIL_NORMAL);

    FillScreenList();
    m_ScreenList.SendMessage(WM_SETREDRAW, TRUE, 0);
    return TRUE;
}

void CMainPanelDlg::FillScreenList() {
    m_ScreenList.DeleteAllItems();
    m_nScreenCount = 1;
    for (int i = 0; i < m_nScreenCount; ++i) {
        // With its single screen the list always reads touch screen 1 on monitor 1.
        wchar_t szEntry[64];
        std::swprintf(szEntry, 64, L"TouchScreen No.%d\n   Monitor      No.%d", 1, 1);
        m_ScreenList.InsertItem(
            i, szEntry, m_DeviceConfig.IsCalibrated ? kPictureCalibrated : kPictureNotCalibrated);
        m_ScreenList.SetItemState(0, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
        GetDlgItem(IDC_BUTTON_RESET)->EnableWindow(m_DeviceConfig.IsCalibrated ? TRUE : FALSE);
    }
    EnableWindow(TRUE);
    PostMessage(WM_SETCURSOR, 0, 0);
}

BOOL CMainPanelDlg::IsDeviceReady() {
    const LPCWSTR lpszDevice =
        m_VendorId == ots::kCameraVendorId && m_ProductId == ots::kSecondStreamProductId ? L"OTS2:"
                                                                                         : L"OTS1:";
    const HANDLE hDevice =
        CreateFile(lpszDevice, GENERIC_READ | GENERIC_WRITE, 0, nullptr, 0, 0, nullptr);
    if (hDevice == INVALID_HANDLE_VALUE) {
        return FALSE;
    }
    DWORD dwReturned = 0;
    const BOOL bReady = DeviceIoControl(hDevice, IOCTL_CLEAR_MOUSE_UP_DATA, nullptr, 0, nullptr, 0,
                                        &dwReturned, nullptr);
    CloseHandle(hDevice);
    return bReady;
}

void CMainPanelDlg::EndForLostDevice(LPCWSTR lpszMessage) {
    MessageBox(lpszMessage, L"ERROR", MB_OK);
    EndDialog(IDOK);
}

void CMainPanelDlg::OnBnClickedCalibrate() {
    if (!IsDeviceReady()) {
        EndForLostDevice(L"Calibrate Inition Failed,please check the connection.");
        return;
    }
    CalibrateDialog = NewCalibrateDialog();
    if (CalibrateDialog == nullptr) {
        return;  // no calibration module in this program
    }
    CalibrateDialog->Create(IDD_CALIBRATE, this);
    CalibrateDialog->MoveWindow(0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN),
                                TRUE);
    CalibrateDialog->ShowWindow(SW_SHOW);
    GetDlgItem(IDC_BUTTON_CALIBRATE)->EnableWindow(FALSE);
    CalibrateDialog->SetFocus();
}

LRESULT CMainPanelDlg::OnCalibrationEnd(WPARAM wParam, LPARAM lParam) {
    if (CalibrateDialog != nullptr) {
        delete CalibrateDialog;
        CalibrateDialog = nullptr;
    }
    if (lParam == 1) {
        EndForLostDevice(L"Please check the connection...");
        return 0;
    }
    if (wParam == 0) {
        m_DeviceConfig.IsCalibrated = 1;  // the calibration dialog wrote the driver's record
        FillScreenList();
    }
    GetDlgItem(IDC_BUTTON_CALIBRATE)->EnableWindow(TRUE);
    EnableWindow(TRUE);
    return 0;
}

void CMainPanelDlg::OnBnClickedSettings() {
    if (!IsDeviceReady()) {
        EndForLostDevice(L"SettingsDlg Inition Failed,please check the connection.");
        return;
    }
    CSettingsDlg dlg;
    dlg.DoModal();
}

void CMainPanelDlg::OnBnClickedAbout() {
    if (!IsDeviceReady()) {
        EndForLostDevice(L"AboutDlg Inition Failed,please check the connection.");
        return;
    }
    CAboutDlg dlg;
    dlg.DoModal();
}

void CMainPanelDlg::OnBnClickedReset() {
    if (!IsDeviceReady()) {
        EndForLostDevice(L"Reset Failed,please check the connection.");
        return;
    }
    EnableWindow(FALSE);
    BeginWaitCursor();
    const ots::DeviceIdentity identity{m_VendorId, m_ProductId, 0};
    m_DeviceConfig.IsCalibrated = 0;
    if (!SetDeviceConfig(&m_DeviceConfig, 0, &identity)) {
        MessageBox(L"SetDeviceConfig Failed.", L"TouchScreen Control Panel", MB_OK);
    }
    if (!OptUSBReinitOptcore()) {
        MessageBox(L"OptUSBReinitOptcore Failed.", L"TouchScreen Control Panel", MB_OK);
    }
    EndWaitCursor();
    FillScreenList();
    EnableWindow(TRUE);
}

void CMainPanelDlg::OnBnClickedExit() {
    BeginWaitCursor();
    EndDialog(IDOK);
    EndWaitCursor();
}

void CMainPanelDlg::OnLvnItemchangedList(NMHDR* pNMHDR, LRESULT* pResult) {
    const auto* pNMLV = reinterpret_cast<NMLISTVIEW*>(pNMHDR);
    m_nSelectedItem = pNMLV->iItem;
    GetDlgItem(IDC_BUTTON_RESET)->EnableWindow(m_DeviceConfig.IsCalibrated ? TRUE : FALSE);
    EnableWindow(TRUE);
    *pResult = 0;
}

LRESULT CMainPanelDlg::OnConnectionLost(WPARAM, LPARAM lParam) {
    if (lParam == 1) {
        EndForLostDevice(L"Please check the connection...");
    }
    return 0;
}
