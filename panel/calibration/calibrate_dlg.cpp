#include "calibration/calibrate_dlg.h"

#include <array>

#include "calibration/calibration_fit.h"
#include "calibration/calibration_mode.h"
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
constexpr int IDC_HINT_AGAIN = 1016;

// What the receive thread tells the dialog's thread: a new point (x, y), and its end
// (wParam nonzero: reading the point failed).
constexpr UINT WM_POINT_SEEN = kWmUser + 200;
constexpr UINT WM_RECEIVE_ENDED = kWmUser + 201;

constexpr DWORD kRunWaitMs = 100;
constexpr DWORD kPollMs = 50;
constexpr DWORD kThreadEndWaitMs = 5000;
constexpr std::size_t kTouchPointSize = 13;
constexpr INT32 kFourPoints = 4;
constexpr INT32 kTwentyFivePoints = 25;
constexpr int kMarkArmPx = 6;
constexpr float kCoordinateUnitsPerLogical = 8.0f;  // raw 0..4096 against 1/32768

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
ON_MESSAGE(WM_POINT_SEEN, &CCalibrateDlg::OnPointSeen)
ON_MESSAGE(WM_RECEIVE_ENDED, &CCalibrateDlg::OnReceiveEnded)
END_MESSAGE_MAP()

CCalibrateDlg::CCalibrateDlg(CWnd* pParent) : CDialog(IDD_CALIBRATE, pParent) {}

// What the receive thread uses, shared with it: a thread still inside a control call when the
// dialog goes keeps it alive and posts to a window that no longer takes posts.
struct CCalibrateDlg::ReceiveSession {
    HANDLE RunEvent = nullptr;  // manual reset; signalled while the thread is to run
    HWND Dialog = nullptr;
    LPCWSTR Device = nullptr;
    ReceiveSession() = default;
    ReceiveSession(const ReceiveSession&) = delete;
    ReceiveSession& operator=(const ReceiveSession&) = delete;
    ~ReceiveSession() {
        if (RunEvent != nullptr) {
            CloseHandle(RunEvent);
        }
    }
};

CCalibrateDlg::~CCalibrateDlg() {
    // Ended by its creator (the main dialog closing) without a way out of its own: the driver
    // and the task bar are restored all the same, without a message.
    const BOOL closing = BeginClosing();
    const BOOL ended = StopReceiving();
    if (closing) {
        if (ended) {
            RestoreDriver();
        }
        if (!TaskBarShown) {
            ToggleTaskBar();
        }
    }
    if (ThreadHandle != nullptr) {
        CloseHandle(ThreadHandle);
        ThreadHandle = nullptr;
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
    DriverCfg = OwnConfig(DriverCfg);  // a session left behind by a panel that died is no setting
    CalibrateType = DriverCfg.CalibrateType;
    PointCount = CalibrateType != 0 ? kTwentyFivePoints : kFourPoints;
    RemainingPoints = PointCount;
    SavedMode = DriverCfg.Mode;
    const ots::DriverConfig calibrating = CalibratingConfig(DriverCfg);
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
    GetDlgItem(IDC_HINT_AGAIN)->MoveWindow(hx - 200, ty + 50, 400, 20, TRUE);
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
    GetDlgItem(IDC_HINT_AGAIN)->ShowWindow(!verifying && RefusedTarget >= 0 ? SW_SHOW : SW_HIDE);
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
    auto session = std::make_shared<ReceiveSession>();
    session->RunEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    session->Dialog = GetSafeHwnd();
    session->Device = DeviceName();
    if (session->RunEvent != nullptr) {
        SetEvent(session->RunEvent);
        Session = session;
        auto* threadShare = new std::shared_ptr<ReceiveSession>(session);
        ThreadHandle =
            CreateThread(nullptr, 0, &CCalibrateDlg::DataReceiveProc, threadShare, 0, nullptr);
        if (ThreadHandle == nullptr) {
            delete threadShare;
        }
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

// Polls the driver's click point until the run flag is reset, and posts each new one; in the
// verification view too, where each touch is marked.
DWORD CCalibrateDlg::DataReceiveProc(LPVOID pParam) {
    const std::unique_ptr<std::shared_ptr<ReceiveSession>> share(
        static_cast<std::shared_ptr<ReceiveSession>*>(pParam));
    const ReceiveSession& session = **share;
    DWORD result = 1;
    BOOL failed = FALSE;
    HANDLE device = nullptr;
    INT32 lastX = 0;
    INT32 lastY = 0;
    for (;;) {
        const DWORD wait = WaitForSingleObject(session.RunEvent, kRunWaitMs);
        if (wait != WAIT_OBJECT_0) {
            NKDbgPrintfW(
                L"<CalibrateDlg><DataReceiveProc>TimeOut after ResetEvent or Failed "
                L"Wait:%d!\r\n",
                static_cast<int>(wait));
            break;
        }
        if (device == nullptr) {
            device = CreateFileW(session.Device, GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                 OPEN_EXISTING, 0, nullptr);
            if (device == INVALID_HANDLE_VALUE) {
                device = nullptr;
                NKDbgPrintfW(L"<CalibrateDlg><DataReceiveProc>CreateFile failed!\r\n");
                result = 0;
                break;
            }
        }
        std::array<BYTE, kTouchPointSize> point{};
        if (!DeviceIoControl(device, IOCTL_GET_MOUSE_UP_DATA, nullptr, 0, point.data(),
                             static_cast<DWORD>(point.size()), nullptr, nullptr)) {
            failed = TRUE;
            result = 0;
            break;
        }
        const auto x = static_cast<INT32>(ots::LoadU32(point, 0));
        const auto y = static_cast<INT32>(ots::LoadU32(point, 4));
        if (x != lastX || y != lastY) {
            lastX = x;
            lastY = y;
            ::PostMessageW(session.Dialog, WM_POINT_SEEN, static_cast<WPARAM>(x),
                           static_cast<LPARAM>(y));
        }
        Sleep(kPollMs);
    }
    if (device != nullptr) {
        CloseHandle(device);
    }
    ::PostMessageW(session.Dialog, WM_RECEIVE_ENDED, failed, 0);
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

SampleSet CCalibrateDlg::Samples() {
    RECT client{};
    GetClientRect(&client);
    const BOOL camera = ots::IsCameraGeneration(VendorId, ProductId);
    const float toLogical =
        (camera ? 1.0f : kCoordinateUnitsPerLogical) / SampleScale(VendorId, ProductId);
    return {TargetX.data(),
            TargetY.data(),
            RawX.data(),
            RawY.data(),
            toLogical,
            MmPerLogical(client.right - client.left),
            MmPerLogical(client.bottom - client.top)};
}

LRESULT CCalibrateDlg::OnPointSeen(WPARAM wParam, LPARAM lParam) {
    if (Closed) {
        return 0;
    }
    LastX = static_cast<INT32>(wParam);
    LastY = static_cast<INT32>(lParam);
    if (Phase == 1) {
        MarkTouch();
    } else if (SampleIndex < PointCount) {
        TakeSample();
    }
    return 0;
}

void CCalibrateDlg::TakeSample() {
    const INT32 at = SampleIndex;
    GetMouseUpData();
    if (!Retaking && !FitsTheLayout(Samples(), at)) {
        AskAgain(at);
        return;
    }
    if (Retaking) {
        Retaking = FALSE;
        SampleIndex = PointCount;
        RemainingPoints = 0;
    } else {
        --RemainingPoints;
        ++SampleIndex;
    }
    if (RemainingPoints == 0 && PointCount == kTwentyFivePoints) {
        const INT32 outlier = OutlierAgainstTheOthers(Samples(), PointCount);
        if (outlier >= 0) {
            AskAgain(outlier);
            return;
        }
    }
    RefusedTarget = -1;
    if (RemainingPoints == 0) {
        StartVerifying();
    }
    UpdateControls();
    Invalidate(TRUE);
}

// A refused target is shown again; refused twice in a row, the samples it was judged by are
// suspect too, and the run starts again from the first target.
void CCalibrateDlg::AskAgain(INT32 target) {
    if (target == RefusedTarget) {
        RefusedTarget = -1;
        Retaking = FALSE;
        SampleIndex = 0;
        RemainingPoints = PointCount;
    } else {
        RefusedTarget = target;
        Retaking = target != SampleIndex;
        if (Retaking) {
            SampleIndex = target;
            RemainingPoints = 1;
        }
    }
    UpdateControls();
    GetDlgItem(IDC_HINT_AGAIN)->ShowWindow(SW_SHOW);
    Invalidate(TRUE);
}

void CCalibrateDlg::StartVerifying() {
    Phase = 1;
    Fitted = SampleIndex == PointCount &&
             GetCalibrateData(TargetX.data(), TargetY.data(), RawX.data(), RawY.data(), PointCount,
                              &FitX, &FitY, PointCount != kFourPoints);
}

// A touch in the verification view, where the new calibration puts it.
void CCalibrateDlg::MarkTouch() {
    if (!Fitted) {
        return;
    }
    const float scale = SampleScale(VendorId, ProductId);
    const double x = static_cast<double>(LastX) * scale;
    const double y = static_cast<double>(LastY) * scale;
    RECT client{};
    GetClientRect(&client);
    const auto toClient = [](double logical, LONG extent) {
        return static_cast<LONG>(logical * extent / kLogicalFullScale);
    };
    VerifyMarks.push_back({toClient(Evaluate(FitX, x, y), client.right - client.left),
                           toClient(Evaluate(FitY, x, y), client.bottom - client.top)});
    Invalidate(TRUE);
}

LRESULT CCalibrateDlg::OnReceiveEnded(WPARAM wParam, LPARAM) {
    DeviceFailed = wParam != 0;
    if (DeviceFailed && BeginClosing()) {
        StopCalibration();
        PostEnd(1, 1);
    }
    if (Phase == 0) {
        StartVerifying();
    }
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
    if (Session != nullptr) {
        ResetEvent(Session->RunEvent);
    }
    const BOOL ended = ThreadHandle == nullptr ||
                       WaitForSingleObject(ThreadHandle, kThreadEndWaitMs) == WAIT_OBJECT_0;
    Session.reset();
    return ended;
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
    if (StopReceiving()) {
        RestoreDriver();
    }
    TargetX.clear();
    TargetY.clear();
    RawX.clear();
    RawY.clear();
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
    if (StopReceiving()) {
        RestoreDriver();
    }
    PostEnd(1, 0);
    OnOK();
    ToggleTaskBar();
}

void CCalibrateDlg::OnClickedOk() {
    if (Phase == 0 || !BeginClosing()) {
        return;
    }
    CWaitCursor wait;
    // A host that does not answer is not called again: the panel reports the connection, and
    // the driver leaves calibration mode when the panel next starts or the screen is plugged.
    if (!StopReceiving()) {
        PostEnd(1, 1);
        OnOK();
        ToggleTaskBar();
        return;
    }
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
    if (Phase != 0) {
        // Each mark a cross like the targets', small enough to show where it lands.
        for (const POINT& mark : VerifyMarks) {
            dc.Rectangle(mark.x - kMarkArmPx, mark.y - 1, mark.x + kMarkArmPx, mark.y + 1);
            dc.Rectangle(mark.x - 1, mark.y - kMarkArmPx, mark.x + 1, mark.y + kMarkArmPx);
        }
        return;
    }
    if (SampleIndex == PointCount) {
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
