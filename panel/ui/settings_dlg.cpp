#include "ui/settings_dlg.h"

#include <cstdio>

#include "ce/debug.h"
#include "device/device_access.h"
#include "protocol/messages.h"
#include "ui/identity_query.h"
#include "ui/resource.h"

const UINT WM_BEEP_CHANGED = RegisterWindowMessage(L"BeepChanged");

namespace {

// Range, tick frequency, line and page step of a slider.
struct SliderSetup {
    int nMin;
    int nMax;
    int nTicFreq;
    int nLine;
    int nPage;
};

constexpr SliderSetup kDelaySetup{50, 1000, 100, 100, 100};
constexpr SliderSetup kAreaSetup{0, 50, 5, 5, 5};
constexpr SliderSetup kFrequencySetup{50, 7000, 1000, 100, 50};
constexpr SliderSetup kDurationSetup{10, 100, 10, 10, 10};
constexpr SliderSetup kSmoothnessSetup{0, 5, 1, 1, 1};
constexpr int kSmoothnessLevels = 300;  // stored smoothness per screen pixel, times levels

void SetUpSlider(CSliderCtrl& slider, const SliderSetup& setup) {
    slider.SetPageSize(setup.nPage);
    slider.SetTicFreq(setup.nTicFreq);
    slider.SetLineSize(setup.nLine);
    slider.SetRange(setup.nMin, setup.nMax, TRUE);
}

// Puts a stored value on a slider and shows where the slider took it.
void ShowOnSlider(CSliderCtrl& slider, CStatic& label, int nValue) {
    slider.SetPos(nValue);
    wchar_t szText[16];
    std::swprintf(szText, 16, L"%d", slider.GetPos());
    label.SetWindowText(szText);
}

void ShowNumber(CStatic& label, int nValue) {
    wchar_t szText[16];
    std::swprintf(szText, 16, L"%d", nValue);
    label.SetWindowText(szText);
}

}  // namespace

CSettingsDlg::CSettingsDlg(CWnd* pParent) : CDialog(IDD_SETTINGS, pParent) {}

CSettingsDlg::~CSettingsDlg() = default;

void CSettingsDlg::DoDataExchange(CDataExchange* pDX) {
    CDialog::DoDataExchange(pDX);
    DDX_Control(pDX, IDC_SLIDER_DELAY, m_DelaySlider);
    DDX_Control(pDX, IDC_SLIDER_AREA, m_AreaSlider);
    DDX_Control(pDX, IDC_SLIDER_FREQUENCY, m_FrequencySlider);
    DDX_Control(pDX, IDC_SLIDER_DURATION, m_DurationSlider);
    DDX_Control(pDX, IDC_LABEL_DELAY, m_DelayLabel);
    DDX_Control(pDX, IDC_LABEL_AREA, m_AreaLabel);
    DDX_Control(pDX, IDC_LABEL_FREQUENCY, m_FrequencyLabel);
    DDX_Control(pDX, IDC_LABEL_DURATION, m_DurationLabel);
    DDX_Control(pDX, IDC_SLIDER_SMOOTHNESS, m_SmoothnessSlider);
    DDX_Control(pDX, IDC_LABEL_SMOOTHNESS, m_SmoothnessLabel);
    DDX_Radio(pDX, IDC_RADIO_CLICK_ON_TOUCH, m_nModeChoice);
    DDV_MinMaxInt(pDX, m_nModeChoice, 0, 2);
    DDX_Radio(pDX, IDC_RADIO_PC_SPEAKER, m_nBeepTypeChoice);
    DDX_Radio(pDX, IDC_RADIO_BEEP_ON_TOUCH, m_nBeepModeChoice);
}

BEGIN_MESSAGE_MAP(CSettingsDlg, CDialog)
ON_BN_CLICKED(IDC_BUTTON_APPLY, &CSettingsDlg::OnBnClickedApply)
ON_BN_CLICKED(IDC_BUTTON_OK, &CSettingsDlg::OnBnClickedOk)
ON_BN_CLICKED(IDC_BUTTON_CANCEL, &CSettingsDlg::OnBnClickedCancel)
ON_BN_CLICKED(IDC_RADIO_CLICK_ON_TOUCH, &CSettingsDlg::OnBnClickedClickOnTouch)
ON_BN_CLICKED(IDC_RADIO_CLICK_ON_RELEASE, &CSettingsDlg::OnBnClickedClickOnRelease)
ON_BN_CLICKED(IDC_RADIO_MOUSE_EMULATION, &CSettingsDlg::OnBnClickedMouseEmulation)
ON_BN_CLICKED(IDC_CHECK_ENABLE_TOUCH, &CSettingsDlg::OnBnClickedEnableTouch)
ON_BN_CLICKED(IDC_CHECK_HIDE_CURSOR, &CSettingsDlg::OnBnClickedHideCursor)
ON_BN_CLICKED(IDC_CHECK_ENABLE_BEEP, &CSettingsDlg::OnBnClickedEnableBeep)
ON_BN_CLICKED(IDC_CHECK_TOUCH_SENSITIVITY, &CSettingsDlg::OnBnClickedTouchSensitivity)
ON_BN_CLICKED(IDC_RADIO_BEEP_ON_TOUCH, &CSettingsDlg::OnBnClickedBeepOnTouch)
ON_BN_CLICKED(IDC_RADIO_BEEP_ON_RELEASE, &CSettingsDlg::OnBnClickedBeepOnRelease)
ON_BN_CLICKED(IDC_RADIO_BEEP_BOTH, &CSettingsDlg::OnBnClickedBeepBoth)
ON_BN_CLICKED(IDC_RADIO_PC_SPEAKER, &CSettingsDlg::OnBnClickedPcSpeaker)
ON_BN_CLICKED(IDC_RADIO_SOUND_CARD, &CSettingsDlg::OnBnClickedSoundCard)
ON_BN_CLICKED(IDC_RADIO_4_POINTS, &CSettingsDlg::OnBnClickedFourPoints)
ON_BN_CLICKED(IDC_RADIO_25_POINTS, &CSettingsDlg::OnBnClickedTwentyFivePoints)
ON_WM_HSCROLL()
END_MESSAGE_MAP()

bool CSettingsDlg::IsCameraController() const {
    return m_VendorId == ots::kCameraVendorId && m_ProductId == ots::kCameraProductId;
}

int CSettingsDlg::CheckState(const CWnd& dialog, int nID) {
    return dialog.IsDlgButtonChecked(nID) == BST_CHECKED ? 1 : 0;
}

BOOL CSettingsDlg::OnInitDialog() {
    CDialog::OnInitDialog();

    const ots::DeviceIdentity identity = QueryDeviceIdentity(*this);
    m_VendorId = identity.idVendor;
    m_ProductId = identity.idProduct;

    if (!InitSettings()) {
        EndDialog(IDOK);
        if (CWnd* pMainWnd = AfxGetMainWnd()) {
            pMainWnd->PostMessage(WM_CONNECTION_LOST, 1, 1);
        }
        return TRUE;
    }
    UpdateControlStates();
    RefreshApply();
    UpdateData(FALSE);
    return TRUE;
}

BOOL CSettingsDlg::InitSettings() {
    m_pSavedConfig = std::make_unique<ots::DriverConfig>();
    m_pWorkingConfig = std::make_unique<ots::DriverConfig>();
    if (!GetDriverConfig(m_pSavedConfig.get(), 0)) {
        MessageBox(L"++SettingsDlg:GetDriverConfig Failed!", L"ERROR", MB_OK);
        return FALSE;
    }
    *m_pWorkingConfig = *m_pSavedConfig;
    const ots::DriverConfig& config = *m_pSavedConfig;

    m_nModeChoice = config.Mode;
    CheckDlgButton(IDC_CHECK_ENABLE_TOUCH, config.EnableTouch ? BST_CHECKED : BST_UNCHECKED);
    CheckDlgButton(IDC_CHECK_HIDE_CURSOR, config.HideCursor ? BST_CHECKED : BST_UNCHECKED);
    CheckDlgButton(IDC_CHECK_ENABLE_BEEP, config.EnableBeep ? BST_CHECKED : BST_UNCHECKED);
    CheckDlgButton(IDC_CHECK_TOUCH_SENSITIVITY,
                   IsCameraController() && config.EnableDoubleClick ? BST_CHECKED : BST_UNCHECKED);

    // Cursor hiding and the beep stay switchable both ways: a box enabled only while its
    // stored value was nonzero would lock the setting off once saved off.
    GetDlgItem(IDC_CHECK_HIDE_CURSOR)->EnableWindow(TRUE);
    GetDlgItem(IDC_CHECK_ENABLE_BEEP)->EnableWindow(TRUE);
    GetDlgItem(IDC_CHECK_TOUCH_SENSITIVITY)->EnableWindow(FALSE);

    m_nBeepTypeChoice = config.BeepType;
    CheckRadioButton(IDC_RADIO_PC_SPEAKER, IDC_RADIO_SOUND_CARD,
                     m_nBeepTypeChoice == 0 ? IDC_RADIO_PC_SPEAKER : IDC_RADIO_SOUND_CARD);
    m_nBeepModeChoice = config.BeepMode;
    CheckRadioButton(IDC_RADIO_BEEP_ON_TOUCH, IDC_RADIO_BEEP_BOTH,
                     m_nBeepModeChoice == 0   ? IDC_RADIO_BEEP_ON_TOUCH
                     : m_nBeepModeChoice == 1 ? IDC_RADIO_BEEP_ON_RELEASE
                                              : IDC_RADIO_BEEP_BOTH);
    if (config.CalibrateType == 0) {
        CheckDlgButton(IDC_RADIO_4_POINTS, BST_CHECKED);
        m_nCalibratePoints = 4;
    } else {
        CheckDlgButton(IDC_RADIO_25_POINTS, BST_CHECKED);
        m_nCalibratePoints = 25;
    }

    SetUpSlider(m_DelaySlider, kDelaySetup);
    ShowOnSlider(m_DelaySlider, m_DelayLabel, static_cast<int>(config.DoubleClickTime));
    SetUpSlider(m_AreaSlider, kAreaSetup);
    ShowOnSlider(m_AreaSlider, m_AreaLabel, static_cast<int>(config.DoubleClickArea));
    SetUpSlider(m_FrequencySlider, kFrequencySetup);
    ShowOnSlider(m_FrequencySlider, m_FrequencyLabel, static_cast<int>(config.BeepFrequency));
    SetUpSlider(m_DurationSlider, kDurationSetup);
    ShowOnSlider(m_DurationSlider, m_DurationLabel, static_cast<int>(config.BeepDuration));

    const long long nScreenWidth = GetSystemMetrics(SM_CXSCREEN);
    SetUpSlider(m_SmoothnessSlider, kSmoothnessSetup);
    const long long nLevel =
        nScreenWidth > 0
            ? (static_cast<long long>(config.Smoothness) * kSmoothnessLevels + nScreenWidth / 2) /
                  nScreenWidth
            : 0;
    ShowOnSlider(m_SmoothnessSlider, m_SmoothnessLabel,
                 static_cast<int>(std::min<long long>(nLevel, kSmoothnessSetup.nMax)));
    return TRUE;
}

BOOL CSettingsDlg::IsConfigUnchanged() const {
    const ots::DriverConfig& a = *m_pWorkingConfig;
    const ots::DriverConfig& b = *m_pSavedConfig;
    return a.Mode == b.Mode && a.EnableTouch == b.EnableTouch && a.HideCursor == b.HideCursor &&
           a.EnableDoubleClick == b.EnableDoubleClick && a.EnableRightClick == b.EnableRightClick &&
           a.EnableBeep == b.EnableBeep && a.CalibrateType == b.CalibrateType &&
           a.DoubleClickTime == b.DoubleClickTime && a.DoubleClickArea == b.DoubleClickArea &&
           a.RightClickTime == b.RightClickTime && a.RightClickArea == b.RightClickArea &&
           a.BeepMode == b.BeepMode && a.BeepType == b.BeepType &&
           a.BeepDuration == b.BeepDuration && a.BeepFrequency == b.BeepFrequency &&
           a.Smoothness == b.Smoothness;
}

void CSettingsDlg::RefreshApply() {
    GetDlgItem(IDC_BUTTON_APPLY)->EnableWindow(IsConfigUnchanged() ? FALSE : TRUE);
}

void CSettingsDlg::OnChoice() {
    UpdateControlStates();
    RefreshApply();  // after the beep mode followed the click mode
}

void CSettingsDlg::UpdateControlStates() {
    // The beep follows the click mode: on touch, on release, or either with mouse emulation.
    // The working copy follows too, so that what is shown is what a save writes.
    if (m_nModeChoice == 0 || m_nModeChoice == 1) {
        m_nBeepModeChoice = m_nModeChoice;
        m_pWorkingConfig->BeepMode = static_cast<UINT8>(m_nModeChoice);
        CheckRadioButton(IDC_RADIO_BEEP_ON_TOUCH, IDC_RADIO_BEEP_BOTH,
                         m_nModeChoice == 0 ? IDC_RADIO_BEEP_ON_TOUCH : IDC_RADIO_BEEP_ON_RELEASE);
    }

    const BOOL bSensitivity = CheckState(*this, IDC_CHECK_TOUCH_SENSITIVITY);
    for (int nID : {IDC_GROUP_SENSITIVITY, IDC_SLIDER_DELAY, IDC_STATIC_DELAY, IDC_LABEL_DELAY,
                    IDC_STATIC_DELAY_MS, IDC_SLIDER_AREA, IDC_STATIC_AREA, IDC_LABEL_AREA,
                    IDC_STATIC_AREA_MM}) {
        GetDlgItem(nID)->EnableWindow(bSensitivity);
    }
    if (!IsCameraController()) {
        GetDlgItem(IDC_GROUP_SENSITIVITY)->EnableWindow(FALSE);
        GetDlgItem(IDC_SLIDER_SMOOTHNESS)->EnableWindow(FALSE);
    }

    const bool bBeep = CheckState(*this, IDC_CHECK_ENABLE_BEEP) != 0 &&
                       GetDlgItem(IDC_CHECK_ENABLE_BEEP)->IsWindowEnabled();
    GetDlgItem(IDC_GROUP_BEEP_MODE)->EnableWindow(bBeep);
    GetDlgItem(IDC_RADIO_BEEP_ON_TOUCH)->EnableWindow(bBeep && m_nModeChoice != 1);
    GetDlgItem(IDC_RADIO_BEEP_ON_RELEASE)->EnableWindow(bBeep && m_nModeChoice != 0);
    GetDlgItem(IDC_RADIO_BEEP_BOTH)->EnableWindow(bBeep && m_nModeChoice == 2);
    GetDlgItem(IDC_RADIO_PC_SPEAKER)->EnableWindow(bBeep);
    GetDlgItem(IDC_RADIO_SOUND_CARD)->EnableWindow(bBeep);

    const bool bSpeaker = bBeep && CheckState(*this, IDC_RADIO_PC_SPEAKER) != 0 &&
                          GetDlgItem(IDC_RADIO_PC_SPEAKER)->IsWindowEnabled();
    for (int nID : {IDC_SLIDER_FREQUENCY, IDC_STATIC_FREQ, IDC_STATIC_HZ, IDC_GROUP_BEEP_TYPE,
                    IDC_LABEL_FREQUENCY, IDC_SLIDER_DURATION, IDC_STATIC_DURATION,
                    IDC_STATIC_DURATION_MS, IDC_LABEL_DURATION}) {
        GetDlgItem(nID)->EnableWindow(bSpeaker);
    }
}

BOOL CSettingsDlg::SaveSettings() {
    if (!IsConfigUnchanged()) {
        *m_pSavedConfig = *m_pWorkingConfig;
        if (!SetDriverConfig(m_pSavedConfig.get())) {
            NKDbgPrintfW(L"SaveSettings:SetDriverConfig Failed.\r\n");
            MessageBox(L"Settings not saved.", L"ERROR", MB_OK);
        } else {
            ::PostMessage(HWND_BROADCAST, WM_BEEP_CHANGED, 0, 0);
        }
    }
    if (IsCameraController()) {
        OptUSBReinitOptcore();
    }
    return TRUE;
}

void CSettingsDlg::OnBnClickedApply() {
    BeginWaitCursor();
    SaveSettings();
    GetDlgItem(IDC_BUTTON_APPLY)->EnableWindow(FALSE);
    EndWaitCursor();
    SetFocus();
}

void CSettingsDlg::OnBnClickedOk() {
    BeginWaitCursor();
    SaveSettings();
    CDialog::OnOK();
    EndWaitCursor();
}

void CSettingsDlg::OnBnClickedCancel() {
    BeginWaitCursor();
    CDialog::OnOK();
    EndWaitCursor();
}

void CSettingsDlg::SetMode(int nMode) {
    m_nModeChoice = nMode;
    m_pWorkingConfig->Mode = static_cast<UINT8>(nMode);
    OnChoice();
}

void CSettingsDlg::OnBnClickedClickOnTouch() {
    SetMode(0);
}

void CSettingsDlg::OnBnClickedClickOnRelease() {
    SetMode(1);
}

void CSettingsDlg::OnBnClickedMouseEmulation() {
    SetMode(2);
}

void CSettingsDlg::OnBnClickedEnableTouch() {
    m_pWorkingConfig->EnableTouch = static_cast<UINT8>(CheckState(*this, IDC_CHECK_ENABLE_TOUCH));
    RefreshApply();
}

void CSettingsDlg::OnBnClickedHideCursor() {
    m_pWorkingConfig->HideCursor = static_cast<UINT8>(CheckState(*this, IDC_CHECK_HIDE_CURSOR));
    OnChoice();
}

void CSettingsDlg::OnBnClickedEnableBeep() {
    m_pWorkingConfig->EnableBeep = static_cast<UINT8>(CheckState(*this, IDC_CHECK_ENABLE_BEEP));
    OnChoice();
}

void CSettingsDlg::OnBnClickedTouchSensitivity() {
    m_pWorkingConfig->EnableDoubleClick =
        static_cast<UINT8>(CheckState(*this, IDC_CHECK_TOUCH_SENSITIVITY));
    OnChoice();
}

void CSettingsDlg::SetBeepMode(int nBeepMode) {
    m_nBeepModeChoice = nBeepMode;
    m_pWorkingConfig->BeepMode = static_cast<UINT8>(nBeepMode);
    OnChoice();
}

void CSettingsDlg::OnBnClickedBeepOnTouch() {
    SetBeepMode(0);
}

void CSettingsDlg::OnBnClickedBeepOnRelease() {
    SetBeepMode(1);
}

void CSettingsDlg::OnBnClickedBeepBoth() {
    SetBeepMode(2);
}

void CSettingsDlg::SetBeepType(int nBeepType) {
    m_nBeepTypeChoice = nBeepType;
    CheckRadioButton(IDC_RADIO_PC_SPEAKER, IDC_RADIO_SOUND_CARD,
                     nBeepType == 0 ? IDC_RADIO_PC_SPEAKER : IDC_RADIO_SOUND_CARD);
    m_pWorkingConfig->BeepType = static_cast<UINT8>(nBeepType);
    OnChoice();
}

void CSettingsDlg::OnBnClickedPcSpeaker() {
    SetBeepType(0);
}

void CSettingsDlg::OnBnClickedSoundCard() {
    SetBeepType(1);
}

void CSettingsDlg::OnBnClickedFourPoints() {
    m_pWorkingConfig->CalibrateType = 0;
    RefreshApply();
}

void CSettingsDlg::OnBnClickedTwentyFivePoints() {
    m_pWorkingConfig->CalibrateType = 1;
    RefreshApply();
}

void CSettingsDlg::OnHScroll(UINT nSBCode, UINT nPos, CScrollBar* pScrollBar) {
    const HWND hSource = pScrollBar != nullptr ? pScrollBar->GetSafeHwnd() : nullptr;
    ots::DriverConfig& config = *m_pWorkingConfig;
    if (hSource == m_DelaySlider.GetSafeHwnd()) {
        config.DoubleClickTime = static_cast<UINT32>(m_DelaySlider.GetPos());
        ShowNumber(m_DelayLabel, m_DelaySlider.GetPos());
    } else if (hSource == m_AreaSlider.GetSafeHwnd()) {
        config.DoubleClickArea = static_cast<UINT32>(m_AreaSlider.GetPos());
        ShowNumber(m_AreaLabel, m_AreaSlider.GetPos());
    } else if (hSource == m_DurationSlider.GetSafeHwnd()) {
        ShowNumber(m_DurationLabel, m_DurationSlider.GetPos());
        config.BeepDuration = static_cast<UINT32>(m_DurationSlider.GetPos());
    } else if (hSource == m_FrequencySlider.GetSafeHwnd()) {
        ShowNumber(m_FrequencyLabel, m_FrequencySlider.GetPos());
        config.BeepFrequency = static_cast<UINT32>(m_FrequencySlider.GetPos());
    } else if (hSource == m_SmoothnessSlider.GetSafeHwnd()) {
        const int nLevel = m_SmoothnessSlider.GetPos();
        ShowNumber(m_SmoothnessLabel, nLevel);
        config.Smoothness =
            static_cast<UINT32>(GetSystemMetrics(SM_CXSCREEN) * nLevel / kSmoothnessLevels);
    }
    OnChoice();
    CDialog::OnHScroll(nSBCode, nPos, pScrollBar);
}
