// The full-screen calibration dialog: one target at a time, the driver's raw click point read
// back for each touch by a receive thread, then a verification view whose OK saves the
// calibration and whose Cancel (like Esc at any time) leaves the driver's calibration as it
// was. While it runs the driver is in calibration mode and the task bar is hidden; every way
// out restores both and posts WM_CALIBRATION_END to the main window, exactly once.
//
// Only the dialog's own thread touches windows and closes what the receive thread uses: the
// thread posts to the dialog what it saw, owns the device handle it opened, and is waited for
// before the driver is reached again or a sample array is freed.
#pragma once

#include <atomic>
#include <vector>

#include "calibration/calibration_save.h"
#include "calibration/target_grid.h"
#include "ce/ui/framework.h"
#include "protocol/driver_config.h"
#include "ui/resource.h"

class CCalibrateDlg : public CDialog {
  public:
    explicit CCalibrateDlg(CWnd* pParent = nullptr);
    ~CCalibrateDlg() override;

    // What a test or the demo can see of a run.
    INT32 SamplesTaken() const { return SampleIndex.load(); }
    INT32 Targets() const { return PointCount; }
    INT32 CurrentPhase() const { return Phase.load(); }

  protected:
    void DoDataExchange(CDataExchange* pDX) override;
    BOOL PreTranslateMessage(MSG* pMsg) override;
    BOOL OnInitDialog() override;

    void OnClickedCancel();
    void OnClickedOk();
    void OnPaint();
    LRESULT OnSampleTaken(WPARAM wParam, LPARAM lParam);
    LRESULT OnReceiveEnded(WPARAM wParam, LPARAM lParam);

    DECLARE_MESSAGE_MAP()

  private:
    static DWORD DataReceiveProc(LPVOID pParam);
    DWORD ReceiveLoop();
    void GetMouseUpData();
    BOOL SaveRun();
    void LayoutControls();
    void UpdateControls();
    void ToggleTaskBar();
    BOOL StartReceiveThread();
    // Stops the receive thread and waits for it; TRUE once it has ended.
    BOOL StopReceiving();
    void RestoreDriver();
    void StopCalibration();
    void DrawTarget(CDC& dc, const RECT& client);
    // Takes the right to close; FALSE when a closing sequence ran already.
    BOOL BeginClosing();
    void PostEnd(WPARAM wParam, LPARAM lParam);
    LPCWSTR DeviceName() const;

    HANDLE DeviceHandle = nullptr;  // owned by the receive thread
    HANDLE RunEvent = nullptr;
    BOOL TaskBarShown = TRUE;
    std::atomic<INT32> Phase{0};
    INT32 LastX = 0;
    INT32 LastY = 0;
    ots::DeviceConfig DeviceCfg{};
    ots::DriverConfig DriverCfg{};
    UINT8 CalibrateType = 0;
    INT32 PointCount = 0;
    INT32 SavedMode = 0;
    std::atomic<BOOL> DeviceFailed{FALSE};
    std::vector<float> TargetX, TargetY, RawX, RawY;
    UINT16 VendorId = 0;
    UINT16 ProductId = 0;
    HANDLE ThreadHandle = nullptr;
    CStatic HintDraw;    // 1012
    CStatic HintEsc;     // 1010
    CStatic HintCancel;  // 1014

    std::vector<GridPoint> TargetGrid;
    std::atomic<INT32> RemainingPoints{0};
    std::atomic<INT32> SampleIndex{0};
    BOOL DriverCfgRead = FALSE;
    BOOL Closed = FALSE;  // a closing sequence ran (the dialog's thread only)
};
