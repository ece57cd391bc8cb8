// The settings dialog: edits a working copy of the driver's DriverConfig, shows with Apply
// whether it differs from what was last saved, and writes it back on Apply or OK.
#pragma once

#include <memory>

#include "ce/ui/framework.h"
#include "protocol/driver_config.h"

// The registered message broadcast after the settings were written ("BeepChanged").
extern const UINT WM_BEEP_CHANGED;

class CSettingsDlg : public CDialog {
  public:
    explicit CSettingsDlg(CWnd* pParent = nullptr);
    ~CSettingsDlg() override;

  protected:
    void DoDataExchange(CDataExchange* pDX) override;
    BOOL OnInitDialog() override;

    void OnBnClickedApply();
    void OnBnClickedOk();
    void OnBnClickedCancel();
    void OnBnClickedClickOnTouch();
    void OnBnClickedClickOnRelease();
    void OnBnClickedMouseEmulation();
    void OnBnClickedEnableTouch();
    void OnBnClickedHideCursor();
    void OnBnClickedEnableBeep();
    void OnBnClickedTouchSensitivity();
    void OnBnClickedBeepOnTouch();
    void OnBnClickedBeepOnRelease();
    void OnBnClickedBeepBoth();
    void OnBnClickedPcSpeaker();
    void OnBnClickedSoundCard();
    void OnBnClickedFourPoints();
    void OnBnClickedTwentyFivePoints();
    void OnHScroll(UINT nSBCode, UINT nPos, CScrollBar* pScrollBar);

    BOOL InitSettings();
    BOOL IsConfigUnchanged() const;
    void UpdateControlStates();
    BOOL SaveSettings();

    DWORD m_VendorId = 0;
    DWORD m_ProductId = 0;
    std::unique_ptr<ots::DriverConfig> m_pSavedConfig;
    std::unique_ptr<ots::DriverConfig> m_pWorkingConfig;
    int m_nModeChoice = 0;
    int m_nBeepTypeChoice = 0;
    int m_nBeepModeChoice = 0;
    int m_nCalibratePoints = 0;
    CSliderCtrl m_DelaySlider;
    CSliderCtrl m_AreaSlider;
    CSliderCtrl m_FrequencySlider;
    CSliderCtrl m_DurationSlider;
    CStatic m_DelayLabel;
    CStatic m_AreaLabel;
    CStatic m_FrequencyLabel;
    CStatic m_DurationLabel;
    CSliderCtrl m_SmoothnessSlider;
    CStatic m_SmoothnessLabel;

    DECLARE_MESSAGE_MAP()

  private:
    bool IsCameraController() const;
    // The handlers' common end: the control states, then Apply refreshed.
    void OnChoice();
    void RefreshApply();
    void SetMode(int nMode);
    void SetBeepMode(int nBeepMode);
    void SetBeepType(int nBeepType);
    static int CheckState(const CWnd& dialog, int nID);
};
