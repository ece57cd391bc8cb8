// The full-screen calibration dialog: one target at a time, the driver's raw click point read
// back for each touch by a receive thread, then a verification view whose OK saves the
// calibration and whose Cancel (like Esc at any time) leaves the driver's calibration as it
// was. While it runs the driver is in calibration mode and the task bar is hidden; every way
// out restores both and posts WM_CALIBRATION_END to the main window, exactly once.
//
// Only the dialog's own thread touches windows and samples: the receive thread posts to the
// dialog each new point it reads, owns the device handle it opened and shares nothing else with
// the dialog, so that a thread still inside a control call when the dialog goes harms nothing.
// It is waited for before the driver is reached again.
//
// A sample must come from a touch that began on the target shown, and fit the targets' layout
// and the other samples (calibration/sample_check.h); otherwise "Touch the target again." asks
// for it anew (twice refused, the run starts again from the first target). The verification
// view marks each touch where the new calibration puts it, before anything is saved.
#pragma once

#include <atomic>
#include <memory>
#include <vector>

#include "calibration/calibration_save.h"
#include "calibration/sample_check.h"
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
    // The verification view's marks, in client pixels, oldest first.
    const std::vector<POINT>& Marks() const { return VerifyMarks; }

  protected:
    void DoDataExchange(CDataExchange* pDX) override;
    BOOL PreTranslateMessage(MSG* pMsg) override;
    BOOL OnInitDialog() override;

    void OnClickedCancel();
    void OnClickedOk();
    void OnPaint();
    LRESULT OnPointSeen(WPARAM wParam, LPARAM lParam);
    LRESULT OnReceiveEnded(WPARAM wParam, LPARAM lParam);

    DECLARE_MESSAGE_MAP()

  private:
    struct ReceiveSession;
    static DWORD DataReceiveProc(LPVOID pParam);
    void GetMouseUpData();
    void TakeSample();
    void AskAgain(INT32 target);
    void StartVerifying();
    void MarkTouch();
    SampleSet Samples();
    BOOL SaveRun();
    void LayoutControls();
    void UpdateControls();
    void ToggleTaskBar();
    BOOL StartReceiveThread();
    // Stops the receive thread and waits for it; TRUE once it has ended (FALSE: the host does
    // not answer, and the driver is not to be called).
    BOOL StopReceiving();
    void RestoreDriver();
    void StopCalibration();
    void DrawTarget(CDC& dc, const RECT& client);
    // Takes the right to close; FALSE when a closing sequence ran already.
    BOOL BeginClosing();
    void PostEnd(WPARAM wParam, LPARAM lParam);
    LPCWSTR DeviceName() const;

    std::shared_ptr<ReceiveSession> Session;  // with the run flag, shared with the thread
    BOOL TaskBarShown = TRUE;
    std::atomic<INT32> Phase{0};
    INT32 LastX = 0;
    INT32 LastY = 0;
    ots::DeviceConfig DeviceCfg{};
    ots::DriverConfig DriverCfg{};
    UINT8 CalibrateType = 0;
    INT32 PointCount = 0;
    INT32 SavedMode = 0;
    BOOL DeviceFailed = FALSE;
    std::vector<float> TargetX, TargetY, RawX, RawY;
    UINT16 VendorId = 0;
    UINT16 ProductId = 0;
    HANDLE ThreadHandle = nullptr;
    CStatic HintDraw;    // 1012
    CStatic HintEsc;     // 1010
    CStatic HintCancel;  // 1014
    std::vector<POINT> VerifyMarks;
    ots::CalibPara FitX{};
    ots::CalibPara FitY{};
    BOOL Fitted = FALSE;
    INT32 RefusedTarget = -1;  // the target last refused, -1 after a sample was taken
    BOOL Retaking = FALSE;     // SampleIndex is a refused target of a full run

    std::vector<GridPoint> TargetGrid;
    std::atomic<INT32> RemainingPoints{0};
    std::atomic<INT32> SampleIndex{0};
    BOOL DriverCfgRead = FALSE;
    BOOL Closed = FALSE;  // a closing sequence ran (the dialog's thread only)
};
