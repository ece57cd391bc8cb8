// Dialogs from templates: modal (DoModal) and modeless (Create), data exchange between
// controls and members, and the standard OK and Cancel handling.
#pragma once

#include "ce/ui/controls.h"
#include "ce/ui/dialog_template.h"

class CDialog;

// One run of data exchange: towards the controls (m_bSaveAndValidate FALSE) or from them.
// A failed check stops the run, and UpdateData then returns FALSE.
class CDataExchange {
  public:
    CDataExchange(CWnd* pDlgWnd, BOOL bSaveAndValidate)
        : m_bSaveAndValidate(bSaveAndValidate), m_pDlgWnd(pDlgWnd) {}
    BOOL m_bSaveAndValidate;
    CWnd* m_pDlgWnd;
    void Fail() { failed_ = true; }
    bool Failed() const { return failed_; }

  private:
    bool failed_ = false;
};

// Binds control nIDC to a control object (once, when the dialog initialises).
void DDX_Control(CDataExchange* pDX, int nIDC, CWnd& rControl);
// value is the index of the checked button of the radio group that starts at nIDC, -1 when
// none is checked; towards the controls, the button of that index is checked.
void DDX_Radio(CDataExchange* pDX, int nIDC, int& value);
void DDX_Check(CDataExchange* pDX, int nIDC, int& value);
// When data is taken from the controls, a value outside min..max shows the framework's range
// message and fails the exchange.
void DDV_MinMaxInt(CDataExchange* pDX, int value, int minVal, int maxVal);

class CDialog : public CWnd {
  public:
    explicit CDialog(UINT nIDTemplate, CWnd* pParentWnd = nullptr);
    ~CDialog() override;

    // Builds the dialog, runs it until EndDialog and destroys its window; the EndDialog
    // result, or -1 when the template cannot be found.
    virtual INT_PTR DoModal();
    // Builds the dialog as a modeless window with pParentWnd as owner.
    virtual BOOL Create(UINT nIDTemplate, CWnd* pParentWnd = nullptr);
    void EndDialog(int nResult);
    BOOL DestroyWindow() override;
    BOOL UpdateData(BOOL bSaveAndValidate = TRUE);

    virtual BOOL OnInitDialog();
    BOOL PreTranslateMessage(MSG* pMsg) override;

    UINT TemplateId() const { return m_nIDTemplate; }
    bool IsModalRunning() const;

  protected:
    virtual void DoDataExchange(CDataExchange* pDX);
    virtual void OnOK();
    virtual void OnCancel();
    LRESULT DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

    UINT m_nIDTemplate;
    CWnd* m_pParentWnd;
    int m_nModalResult = -1;

  private:
    BOOL Build(CWnd* pOwner);
    struct ModalLoop;
    ModalLoop* modalLoop_ = nullptr;
    bool endRequested_ = false;
};
