// The about box: the banner, the driver version of the template and the firmware version of
// the connected controller.
#pragma once

#include "ce/ui/framework.h"

class CAboutDlg : public CDialog {
  public:
    explicit CAboutDlg(CWnd* pParent = nullptr);

  protected:
    void DoDataExchange(CDataExchange* pDX) override;
    BOOL OnInitDialog() override;

    CStatic m_FirmwareVersion;
    UINT16 m_VendorId = 0;
    UINT16 m_ProductId = 0;
    UINT16 m_ReleaseNumber = 0;
};
