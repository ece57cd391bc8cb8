#include "calibration/calibrate_dlg.h"

#include <array>

#include "ce/debug.h"
#include "ce/kernel.h"
#include "ce/stream.h"
#include "device/device_access.h"
#include "protocol/bytes.h"
#include "protocol/control_codes.h"
#include "protocol/messages.h"
#include "ui/calibration_hook.h"

namespace {

constexpr int IDC_OK = 1008;
constexpr int IDC_CANCEL = 1009;
constexpr int IDC_HINT_ESC = 1010;
constexpr int IDC_HINT_DRAW = 1012;
constexpr int IDC_HINT_CANCEL = 1014;

// What the receive thread tells the dialog's thread.
constexpr UINT WM_SAMPLE_TAKEN = kWmUser + 200;
constexpr UINT WM_RECEIVE_ENDED = kWmUser + 201;

constexpr DWORD kRunWaitMs = 100;
constexpr DWORD kPollMs = 50;
constexpr DWORD kThreadEndWaitMs = 5000;
constexpr std::size_t kTouchPointSize = 13;
constexpr INT32 kFourPoints = 4;
constexpr INT32 kTwentyFivePoints = 25;
constexpr UINT8 kClickOnRelease = 1;

constexpr LPCWSTR kPanelCaption = L"TouchScreen Control Panel";
constexpr LPCWSTR kTaskBarClass = L"HHTaskBar";

// The main dialog's Calibrate creates this dialog through the hook.
const bool kInstalled = [] {
    SetCalibrateDialogFactory([]() -> CDialog* { return new CCalibrateDlg(); });
    return true;
}();

HWND MainWindow() {
    CWnd* main = AfxGetMainWnd();
    return main != nullptr ? main->GetSafeHwnd() : nullptr;
}

}  // namespace

BEGIN_MESSAGE_MAP(CCalibrateDlg, CDialog)
ON_BN_CLICKED(IDC_CANCEL, &CCalibrateDlg::OnClickedCancel)
ON_BN_CLICKED(IDC_OK, &CCalibrateDlg::OnClickedOk)
ON_WM_PAINT()
ON_MESSAGE(WM_SAMPLE_TAKEN, &CCalibrateDlg::OnSampleTaken)
ON_MESSAGE(WM_RECEIVE_ENDED, &CCalibrateDlg::OnReceiveEnded)
END_MESSAGE_MAP()

CCalibrateDlg::CCalibrateDlg(CWnd* pParent) : CDialog(IDD_CALIBRATE, pParent) {}

CCalibrateDlg::~CCalibrateDlg() {
    BOOL ended = TRUE;
    if (ThreadHandle != nullptr) {
        if (RunEvent != nullptr) {
            ResetEvent(RunEvent);
        }
        ended = WaitForSingleObject(ThreadHandle, kThreadEndWaitMs) == WAIT_OBJECT_0;
        CloseHandle(ThreadHandle);
        ThreadHandle = nullptr;
    }
    // A thread stuck past the wait still waits on the run flag; it is left to it.
    if (RunEvent != nullptr && ended) {
        CloseHandle(RunEvent);
    }
}

void CCalibrateDlg::DoDataExchange(CDataExchange* pDX) {
    CDialog::DoDataExchange(pDX);
    DDX_Control(pDX, IDC_HINT_DRAW, HintDraw);
    DDX_Control(pDX, IDC_HINT_ESC, HintEsc);
    DDX_Control(pDX, IDC_HINT_CANCEL, HintCancel);
}

BOOL CCalibrateDlg::OnInitDialog() {
    CDialog::OnInitDialog();
    LastX = 0;
    LastY = 0;
    SampleIndex = 0;
    if (!GetDriverConfig(&DriverCfg, 0)) {
        // Without the settings as read nothing may be sent to the driver, and nothing was
        // changed yet that a closing sequence would have to restore.
        MessageBoxW(L"GetDriverConfig Failed.", kPanelCaption, MB_OK);
        Closed = TRUE;
        PostEnd(1, 1);
        return TRUE;
    }
    DriverCfgRead = TRUE;
    CalibrateType = DriverCfg.CalibrateType;
    PointCount = CalibrateType != 0 ? kTwentyFivePoints : kFourPoints;
    RemainingPoints = PointCount;
    SavedMode = DriverCfg.Mode;
    ots::DriverConfig calibrating = DriverCfg;
    calibrating.Mode = kClickOnRelease;
    calibrating.IsCalibrating = 1;
    SetDriverConfig(&calibrating);

    const auto count = static_cast<std::size_t>(PointCount);
    TargetX.assign(count, 0.0f);
    TargetY.assign(count, 0.0f);
    RawX.assign(count, 0.0f);
    RawY.assign(count, 0.0f);
    UpdateControls();
    ToggleTaskBar();
    TargetGrid = BuildTargetGrid(PointCount);
    for (std::size_t i = 0; i < TargetGrid.size() && i < count; ++i) {
        TargetX[i] = static_cast<float>(TargetGrid[i].x);
        TargetY[i] = static_cast<float>(TargetGrid[i].y);
    }
    LayoutControls();
    StartReceiveThread();
    return TRUE;
}

void CCalibrateDlg::LayoutControls() {
    const int w = GetSystemMetrics(SM_CXSCREEN);
    const int h = GetSystemMetrics(SM_CYSCREEN);
    const int hx = w / 2;
    const int ty = h / 3;
    GetDlgItem(IDC_HINT_ESC)->MoveWindow(hx - 200, ty + 20, 400, 20, TRUE);
    GetDlgItem(IDC_OK)->MoveWindow(hx - 100, ty + 50, 80, 40, TRUE);
    GetDlgItem(IDC_CANCEL)->MoveWindow(hx + 20, ty + 50, 80, 40, TRUE);
    const int tx = w / 3;
    const int hy = h / 2;
    GetDlgItem(IDC_HINT_DRAW)->MoveWindow(tx, hy, 400, 40, TRUE);
    GetDlgItem(IDC_HINT_CANCEL)->MoveWindow(tx, hy + 60, 400, 40, TRUE);

    ots::DeviceIdentity identity{};
    if (!GetDeviceID(&identity)) {
        MessageBoxW(L"GetDeviceID Failed.", L"ERROR", MB_OK);
        identity = ots::DeviceIdentity{};
    }
    VendorId = identity.idVendor;
    ProductId = identity.idProduct;
    // The driver's stored click point starts at (0, 0), so the first touch differs from it.
    const HANDLE device = CreateFileW(DeviceName(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                      OPEN_EXISTING, 0, nullptr);
    if (device != INVALID_HANDLE_VALUE) {
        DeviceIoControl(device, IOCTL_CLEAR_MOUSE_UP_DATA, nullptr, 0, nullptr, 0, nullptr,
                        nullptr);
        CloseHandle(device);
    }
}

void CCalibrateDlg::UpdateControls() {
    const BOOL verifying = Phase == 1;
    SetCursor(verifying ? LoadCursorW(nullptr, IDC_ARROW) : nullptr);
    const int collectingShow = verifying ? SW_HIDE : SW_SHOW;
    const int verifyingShow = verifying ? SW_SHOW : SW_HIDE;
    GetDlgItem(IDC_OK)->ShowWindow(verifyingShow);
    GetDlgItem(IDC_CANCEL)->ShowWindow(verifyingShow);
    GetDlgItem(IDC_HINT_ESC)->ShowWindow(collectingShow);
    GetDlgItem(IDC_HINT_DRAW)->ShowWindow(verifyingShow);
    GetDlgItem(IDC_HINT_CANCEL)->ShowWindow(verifyingShow);
}

void CCalibrateDlg::ToggleTaskBar() {
    TaskBarShown = !TaskBarShown;
    const HWND taskBar = FindWindowW(kTaskBarClass, nullptr);
    if (taskBar != nullptr) {
        ::ShowWindow(taskBar, TaskBarShown ? SW_SHOW : SW_HIDE);
    }
}

BOOL CCalibrateDlg::StartReceiveThread() {
    // The run flag exists before the thread does, so that a stop at any moment reaches it.
    RunEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (RunEvent != nullptr) {
        SetEvent(RunEvent);
        ThreadHandle = CreateThread(nullptr, 0, &CCalibrateDlg::DataReceiveProc, this, 0, nullptr);
    }
    if (ThreadHandle == nullptr) {
        MessageBoxW(L"CreadThread failed.", kPanelCaption, MB_OK);
        return FALSE;
    }
    return TRUE;
}

LPCWSTR CCalibrateDlg::DeviceName() const {
    return ots::StreamNameFor(ots::FamilyOf(VendorId, ProductId));
}

DWORD CCalibrateDlg::DataReceiveProc(LPVOID pParam) {
    return static_cast<CCalibrateDlg*>(pParam)->ReceiveLoop();
}

DWORD CCalibrateDlg::ReceiveLoop() {
    DWORD result = 1;
    while (RemainingPoints != 0) {
        const DWORD wait = WaitForSingleObject(RunEvent, kRunWaitMs);
        if (wait != WAIT_OBJECT_0) {
            NKDbgPrintfW(
                L"<CalibrateDlg><DataReceiveProc>TimeOut after ResetEvent or Failed "
                L"Wait:%d!\r\n",
                static_cast<int>(wait));
            break;
        }
        if (DeviceHandle == nullptr) {
            const HANDLE device = CreateFileW(DeviceName(), GENERIC_READ | GENERIC_WRITE, 0,
                                              nullptr, OPEN_EXISTING, 0, nullptr);
            if (device == INVALID_HANDLE_VALUE) {
                NKDbgPrintfW(L"<CalibrateDlg><DataReceiveProc>CreateFile failed!\r\n");
                result = 0;
                break;
            }
            DeviceHandle = device;
        }
        std::array<BYTE, kTouchPointSize> point{};
        if (!DeviceIoControl(DeviceHandle, IOCTL_GET_MOUSE_UP_DATA, nullptr, 0, point.data(),
                             static_cast<DWORD>(point.size()), nullptr, nullptr)) {
            DeviceFailed = TRUE;
            result = 0;
            break;
        }
        const auto x = static_cast<INT32>(ots::LoadU32(point, 0));
        const auto y = static_cast<INT32>(ots::LoadU32(point, 4));
        if (x != LastX || y != LastY) {
            LastX = x;
            LastY = y;
            GetMouseUpData();
            --RemainingPoints;
            ++SampleIndex;
            PostMessageW(WM_SAMPLE_TAKEN);
        }
        Sleep(kPollMs);
    }
    // The thread's own handle goes with it: nobody else ever uses it.
    if (DeviceHandle != nullptr) {
        CloseHandle(DeviceHandle);
        DeviceHandle = nullptr;
    }
    PostMessageW(WM_RECEIVE_ENDED);
    return result;
}

void CCalibrateDlg::GetMouseUpData() {
    if (Phase == 0) {
        const INT32 at = SampleIndex;
        if (at < 0 || at >= static_cast<INT32>(RawX.size())) {
            return;
        }
        const float scale = SampleScale(VendorId, ProductId);
        RawX[static_cast<std::size_t>(at)] = static_cast<float>(LastX) * scale;
        RawY[static_cast<std::size_t>(at)] = static_cast<float>(LastY) * scale;
        return;
    }
    SaveRun();
}

BOOL CCalibrateDlg::SaveRun() {
    const CalibrationRun run{TargetX.data(), TargetY.data(), RawX.data(),
                             RawY.data(),    PointCount,     SampleIndex};
    return SaveCalibration(run, {VendorId, ProductId, 0}, &DeviceCfg);
}

LRESULT CCalibrateDlg::OnSampleTaken(WPARAM, LPARAM) {
    Invalidate(TRUE);
    return 0;
}

LRESULT CCalibrateDlg::OnReceiveEnded(WPARAM, LPARAM) {
    if (DeviceFailed && BeginClosing()) {
        StopCalibration();
        PostEnd(1, 1);
    }
    Phase = 1;
    UpdateControls();
    Invalidate(TRUE);
    return 0;
}

BOOL CCalibrateDlg::BeginClosing() {
    if (Closed) {
        return FALSE;
    }
    Closed = TRUE;
    return TRUE;
}

void CCalibrateDlg::PostEnd(WPARAM wParam, LPARAM lParam) {
    ::PostMessageW(MainWindow(), WM_CALIBRATION_END, wParam, lParam);
}

BOOL CCalibrateDlg::StopReceiving() {
    if (RunEvent != nullptr) {
        ResetEvent(RunEvent);
    }
    if (ThreadHandle != nullptr &&
        WaitForSingleObject(ThreadHandle, kThreadEndWaitMs) != WAIT_OBJECT_0) {
        return FALSE;
    }
    if (RunEvent != nullptr) {
        CloseHandle(RunEvent);
        RunEvent = nullptr;
    }
    return TRUE;
}

void CCalibrateDlg::RestoreDriver() {
    if (!DriverCfgRead) {
        return;
    }
    DriverCfg.Mode = static_cast<UINT8>(SavedMode);
    DriverCfg.IsCalibrating = 0;
    SetDriverConfig(&DriverCfg);
}

void CCalibrateDlg::StopCalibration() {
    const BOOL ended = StopReceiving();
    RestoreDriver();
    if (ended) {
        TargetX.clear();
        TargetY.clear();
        RawX.clear();
        RawY.clear();
    }
    ToggleTaskBar();
}

BOOL CCalibrateDlg::PreTranslateMessage(MSG* pMsg) {
    if (pMsg->message != WM_KEYDOWN || pMsg->wParam != VK_ESCAPE) {
        return CDialog::PreTranslateMessage(pMsg);
    }
    NKDbgPrintfW(L"<CalibrateDlg><PreTranslateMessage>enter ESC!\r\n");
    if (BeginClosing()) {
        StopCalibration();
        PostEnd(1, 0);
    }
    NKDbgPrintfW(L"<CalibrateDlg><PreTranslateMessage>return TRUE!\r\n");
    return TRUE;
}

void CCalibrateDlg::OnClickedCancel() {
    // OK and Cancel are offered only in the verification view (Enter reaches a hidden default
    // button too).
    if (Phase == 0 || !BeginClosing()) {
        return;
    }
    CWaitCursor wait;
    StopReceiving();
    RestoreDriver();
    PostEnd(1, 0);
    OnOK();
    ToggleTaskBar();
}

void CCalibrateDlg::OnClickedOk() {
    if (Phase == 0 || !BeginClosing()) {
        return;
    }
    CWaitCursor wait;
    StopReceiving();
    // Saved while the driver is still in calibration mode. A run that saved nothing is not
    // reported as a calibration: the main dialog would mark the screen calibrated.
    const BOOL complete = SampleIndex == PointCount;
    const BOOL saved = complete && SaveRun();
    RestoreDriver();
    if (!saved) {
        MessageBoxW(complete ? L"The calibration could not be saved."
                             : L"Not every target was touched; the calibration was not saved.",
                    kPanelCaption, MB_OK);
    }
    PostEnd(saved ? 0 : 1, 0);
    OnOK();
    ToggleTaskBar();
}

void CCalibrateDlg::OnPaint() {
    CPaintDC dc(this);
    if (Phase != 0 || SampleIndex == PointCount) {
        return;
    }
    RECT client{};
    GetClientRect(&client);
    DrawTarget(dc, client);
}

void CCalibrateDlg::DrawTarget(CDC& dc, const RECT& client) {
    const INT32 at = SampleIndex;
    if (at < 0 || at >= static_cast<INT32>(TargetGrid.size())) {
        return;
    }
    const GridPoint target = TargetGrid[static_cast<std::size_t>(at)];
    const int x = LogicalToClient(target.x, client.right - client.left);
    const int y = LogicalToClient(target.y, client.bottom - client.top);
    for (const int r : {20, 15, 10}) {
        dc.Ellipse(x - r, y - r, x + r, y + r);
    }
    dc.Rectangle(x - 25, y - 1, x + 25, y + 1);
    dc.Rectangle(x - 1, y - 25, x + 1, y + 25);
}
