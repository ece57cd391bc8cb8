#include "ui/about_dlg.h"

#include <cstdio>
#include <cwchar>

#include "device/device_access.h"
#include "protocol/messages.h"
#include "ui/identity_query.h"
#include "ui/resource.h"

namespace {

constexpr std::size_t kVersionTextSize = 58;

}  // namespace

CAboutDlg::CAboutDlg(CWnd* pParent) : CDialog(IDD_ABOUTBOX, pParent) {}

void CAboutDlg::DoDataExchange(CDataExchange* pDX) {
    CDialog::DoDataExchange(pDX);
    DDX_Control(pDX, IDC_FIRMWARE_VERSION, m_FirmwareVersion);
}

BOOL CAboutDlg::OnInitDialog() {
    CDialog::OnInitDialog();

    const ots::DeviceIdentity identity = QueryDeviceIdentity(*this);
    m_VendorId = identity.idVendor;
    m_ProductId = identity.idProduct;
    m_ReleaseNumber = identity.bcdDevice;

    char szVersion[kVersionTextSize] = {};
    if (m_VendorId == ots::kCameraVendorId && m_ProductId == ots::kCameraProductId) {
        VendorBlock version{};
        if (!GetVersion(0, &version, 0, 0)) {
            MessageBox(L"++AboutDlg:GetVersion Failed.", L"TouchScreen Control Panel", MB_OK);
            EndDialog(IDOK);
            if (CWnd* pMainWnd = AfxGetMainWnd()) {
                pMainWnd->PostMessage(WM_CONNECTION_LOST, 1, 1);
            }
            return TRUE;
        }
        std::snprintf(szVersion, sizeof szVersion, "%d.%d", static_cast<INT8>(version[1]),
                      static_cast<INT8>(version[0]));
    } else {
        std::snprintf(szVersion, sizeof szVersion, "%d", static_cast<int>(m_ReleaseNumber));
    }

    wchar_t szWide[kVersionTextSize] = {};
    std::mbstowcs(szWide, szVersion, kVersionTextSize - 1);
    m_FirmwareVersion.SetWindowText(szWide);
    return TRUE;
}
