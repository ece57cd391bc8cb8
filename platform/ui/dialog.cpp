// CDialog: building from a template, modal and modeless runs, data exchange, the dialog keys.
#include "ce/ui/dialog.h"

#include <QAbstractButton>
#include <QApplication>
#include <QEventLoop>
#include <QKeyEvent>
#include <QPushButton>
#include <string>

#include "ce/ui/app.h"
#include "dialog_window.h"
#include "ui_core.h"
#include "window_station.h"
#include "window_table.h"

namespace ce::ui {
namespace {

QWidget* OwnerWidget(CWnd* owner) {
    QWidget* widget = owner != nullptr ? WidgetOf(owner->m_hWnd) : nullptr;
    return widget != nullptr ? widget->window() : nullptr;
}

void FocusFirstControl(QWidget* window) {
    for (QWidget* child = window->nextInFocusChain(); child != window;
         child = child->nextInFocusChain()) {
        if (child->isVisible() && child->isEnabled() && child->focusPolicy() != Qt::NoFocus) {
            child->setFocus(Qt::TabFocusReason);
            return;
        }
    }
}

// The dialog's keys go to PreTranslateMessage before the focused control sees them.
class KeyboardFilter : public QObject {
  protected:
    bool eventFilter(QObject* target, QEvent* event) override {
        if (event->type() != QEvent::KeyPress) {
            return false;
        }
        auto* widget = qobject_cast<QWidget*>(target);
        if (widget == nullptr) {
            return false;
        }
        // Once per key, where it is first delivered: the window's focused control, or the
        // window itself when none has the focus (not again as it travels up to the parents).
        QWidget* expected = widget->window()->focusWidget();
        if (widget != (expected != nullptr ? expected : widget->window())) {
            return false;
        }
        WindowRecord* top = TopLevelRecordOf(widget);
        const UINT vk = VirtualKeyOf(static_cast<QKeyEvent*>(event)->key());
        if (top == nullptr || top->object == nullptr || vk == 0) {
            return false;
        }
        const WindowRecord* self = FindRecord(widget);
        MSG message{self != nullptr ? self->hwnd : top->hwnd, WM_KEYDOWN, vk, 0, 0, {0, 0}};
        return top->object->PreTranslateMessage(&message) != FALSE;
    }
};

}  // namespace

void InstallKeyboardFilter() {
    static KeyboardFilter* filter = nullptr;
    if (filter == nullptr && QCoreApplication::instance() != nullptr) {
        filter = new KeyboardFilter;
        filter->setParent(QCoreApplication::instance());
        QCoreApplication::instance()->installEventFilter(filter);
    }
}

UINT VirtualKeyOf(int qtKey) {
    switch (qtKey) {
        case Qt::Key_Escape:
            return VK_ESCAPE;
        case Qt::Key_Return:
        case Qt::Key_Enter:
            return VK_RETURN;
        case Qt::Key_Space:
            return VK_SPACE;
        case Qt::Key_Tab:
            return VK_TAB;
        case Qt::Key_Left:
            return VK_LEFT;
        case Qt::Key_Right:
            return VK_RIGHT;
        case Qt::Key_Up:
            return VK_UP;
        case Qt::Key_Down:
            return VK_DOWN;
        case Qt::Key_PageUp:
            return VK_PRIOR;
        case Qt::Key_PageDown:
            return VK_NEXT;
        case Qt::Key_Home:
            return VK_HOME;
        case Qt::Key_End:
            return VK_END;
        default:
            if ((qtKey >= Qt::Key_0 && qtKey <= Qt::Key_9) ||
                (qtKey >= Qt::Key_A && qtKey <= Qt::Key_Z)) {
                return static_cast<UINT>(qtKey);  // the same codes
            }
            return 0;
    }
}

int QtKeyOf(UINT vk) {
    for (int key :
         {Qt::Key_Escape, Qt::Key_Return, Qt::Key_Space, Qt::Key_Tab, Qt::Key_Left, Qt::Key_Right,
          Qt::Key_Up, Qt::Key_Down, Qt::Key_PageUp, Qt::Key_PageDown, Qt::Key_Home, Qt::Key_End}) {
        if (VirtualKeyOf(key) == vk) {
            return key;
        }
    }
    return VirtualKeyOf(static_cast<int>(vk)) == vk ? static_cast<int>(vk) : 0;
}

}  // namespace ce::ui

using namespace ce::ui;

struct CDialog::ModalLoop {
    QEventLoop loop;
};

CDialog::CDialog(UINT nIDTemplate, CWnd* pParentWnd)
    : m_nIDTemplate(nIDTemplate), m_pParentWnd(pParentWnd) {}

CDialog::~CDialog() {
    if (m_hWnd != nullptr && InterfaceThreadNow()) {
        CDialog::DestroyWindow();
    }
}

BOOL CDialog::Build(CWnd* pOwner) {
    const DialogTemplate* dialog = FindDialogTemplate(m_nIDTemplate);
    if (dialog == nullptr || !InterfaceThreadNow()) {
        return FALSE;
    }
    InstallKeyboardFilter();
    QWidget* owner = OwnerWidget(pOwner);
    const HWND hwnd = NewWindowHandle();
    auto* window = new DialogWindow(owner, *dialog, hwnd);
    window->setAttribute(Qt::WA_DeleteOnClose, false);
    window->setFont(DialogFont(*dialog));
    window->setWindowTitle(ToQString(dialog->caption));
    RECT client{0, 0, dialog->cx, dialog->cy};
    MapDialogRect(*dialog, &client);
    window->SetClientSize(client.right, client.bottom);  // the frame and caption around it

    WindowRecord record;
    record.hwnd = hwnd;
    record.widget = window;
    record.object = this;
    record.topLevel = true;
    record.style = dialog->style;
    record.className = L"Dialog";
    RegisterWindow(std::move(record));
    m_hWnd = hwnd;
    BuildControls(*dialog, window->Client(), hwnd);
    if (owner != nullptr) {  // centred on its owner, as dialogs open
        window->move(owner->geometry().center() - window->rect().center());
    }
    RepublishWindow(hwnd);
    return TRUE;
}

INT_PTR CDialog::DoModal() {
    CWnd* owner = m_pParentWnd != nullptr ? m_pParentWnd : AfxGetMainWnd();
    if (owner == this) {
        owner = nullptr;
    }
    endRequested_ = false;
    m_nModalResult = -1;
    if (!Build(owner)) {
        return -1;
    }
    const HWND hwnd = m_hWnd;
    const BOOL focusFirst = OnInitDialog();
    QWidget* window = WidgetOf(hwnd);
    if (!endRequested_ && window != nullptr) {
        window->setWindowModality(Qt::ApplicationModal);
        window->show();
        RepublishWindow(hwnd);
        if (focusFirst) {
            FocusFirstControl(window);
        }
        NotifyDialogShown(*this);
        ModalLoop loop;
        modalLoop_ = &loop;
        if (!endRequested_) {
            loop.loop.exec();
        }
        modalLoop_ = nullptr;
    }
    if (m_hWnd != nullptr) {
        DestroyWindow();
    }
    return m_nModalResult;
}

BOOL CDialog::Create(UINT nIDTemplate, CWnd* pParentWnd) {
    m_nIDTemplate = nIDTemplate;
    m_pParentWnd = pParentWnd;
    endRequested_ = false;
    if (!Build(pParentWnd)) {
        return FALSE;
    }
    const HWND hwnd = m_hWnd;
    const BOOL focusFirst = OnInitDialog();
    const DialogTemplate* dialog = FindDialogTemplate(m_nIDTemplate);
    QWidget* window = WidgetOf(hwnd);
    if (window != nullptr && dialog != nullptr && (dialog->style & WS_VISIBLE) != 0 &&
        !endRequested_) {
        window->show();
        if (focusFirst) {
            FocusFirstControl(window);
        }
    }
    if (window != nullptr) {
        QueueOnInterface([hwnd] {
            WindowRecord* record = FindRecord(hwnd);
            if (record != nullptr && record->object != nullptr && record->widget != nullptr &&
                record->widget->isVisible()) {
                NotifyDialogShown(static_cast<CDialog&>(*record->object));
            }
        });
    }
    return TRUE;
}

void CDialog::EndDialog(int nResult) {
    m_nModalResult = nResult;
    endRequested_ = true;
    RunOnInterface([hwnd = m_hWnd] {
        if (QWidget* window = WidgetOf(hwnd)) {
            window->hide();
        }
    });
    if (modalLoop_ != nullptr) {
        modalLoop_->loop.exit(0);
    }
}

bool CDialog::IsModalRunning() const {
    return modalLoop_ != nullptr;
}

BOOL CDialog::DestroyWindow() {
    if (modalLoop_ != nullptr) {
        modalLoop_->loop.exit(0);
    }
    return CWnd::DestroyWindow();
}

BOOL CDialog::UpdateData(BOOL bSaveAndValidate) {
    CDataExchange exchange(this, bSaveAndValidate);
    DoDataExchange(&exchange);
    return exchange.Failed() ? FALSE : TRUE;
}

BOOL CDialog::OnInitDialog() {
    UpdateData(FALSE);
    return TRUE;
}

void CDialog::DoDataExchange(CDataExchange*) {}

void CDialog::OnOK() {
    if (!UpdateData(TRUE)) {
        return;
    }
    EndDialog(IDOK);
}

void CDialog::OnCancel() {
    EndDialog(IDCANCEL);
}

BOOL CDialog::PreTranslateMessage(MSG* pMsg) {
    if (pMsg->message != WM_KEYDOWN) {
        return FALSE;
    }
    if (pMsg->wParam == VK_ESCAPE) {
        SendMessageW(WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
        return TRUE;
    }
    if (pMsg->wParam != VK_RETURN) {
        return FALSE;
    }
    // Enter: the focused push button, else the default push button, else IDOK.
    int id = IDOK;
    HWND from = nullptr;
    const WindowRecord* focused = FindRecord(pMsg->hwnd);
    if (focused != nullptr && focused->parent == m_hWnd &&
        focused->kind == ControlKind::PushButton) {
        id = focused->id;
        from = focused->hwnd;
    } else if (const WindowRecord* self = FindRecord(m_hWnd)) {
        for (HWND child : self->children) {
            const WindowRecord* record = FindRecord(child);
            const auto* button = qobject_cast<const QPushButton*>(record->widget.data());
            if (button != nullptr && button->isDefault() && button->isEnabled()) {
                id = record->id;
                from = child;
                break;
            }
        }
    }
    if (from != nullptr && !::IsWindowEnabled(from)) {
        return TRUE;
    }
    SendMessageW(WM_COMMAND, MAKEWPARAM(static_cast<WORD>(id), BN_CLICKED),
                 reinterpret_cast<LPARAM>(from));
    return TRUE;
}

LRESULT CDialog::DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_COMMAND && HIWORD(wParam) == BN_CLICKED) {
        if (LOWORD(wParam) == IDOK) {
            OnOK();
            return 0;
        }
        if (LOWORD(wParam) == IDCANCEL) {
            OnCancel();
            return 0;
        }
    }
    if (message == WM_CLOSE) {
        SendMessageW(WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
        return 0;
    }
    return CWnd::DefWindowProc(message, wParam, lParam);
}

// --- data exchange ---------------------------------------------------------------------------

void DDX_Control(CDataExchange* pDX, int nIDC, CWnd& rControl) {
    if (pDX->Failed() || rControl.m_hWnd != nullptr) {
        return;
    }
    WindowRecord* record = ChildRecord(pDX->m_pDlgWnd->m_hWnd, nIDC);
    if (record == nullptr) {
        return;
    }
    DropTemporaryObject(record->hwnd);
    record = ChildRecord(pDX->m_pDlgWnd->m_hWnd, nIDC);
    record->object = &rControl;
    rControl.m_hWnd = record->hwnd;
}

void DDX_Radio(CDataExchange* pDX, int nIDC, int& value) {
    const WindowRecord* first = pDX->Failed() ? nullptr : ChildRecord(pDX->m_pDlgWnd->m_hWnd, nIDC);
    if (first == nullptr) {
        return;
    }
    const std::vector<HWND> group = RadioGroupOf(first->hwnd);
    if (pDX->m_bSaveAndValidate) {
        value = -1;
    }
    for (std::size_t i = 0; i < group.size(); ++i) {
        auto* button = qobject_cast<QAbstractButton*>(WidgetOf(group[i]));
        if (pDX->m_bSaveAndValidate) {
            if (button->isChecked()) {
                value = static_cast<int>(i);
            }
        } else {
            button->setChecked(static_cast<int>(i) == value);
        }
    }
}

void DDX_Check(CDataExchange* pDX, int nIDC, int& value) {
    const WindowRecord* record =
        pDX->Failed() ? nullptr : ChildRecord(pDX->m_pDlgWnd->m_hWnd, nIDC);
    auto* button =
        record != nullptr ? qobject_cast<QAbstractButton*>(record->widget.data()) : nullptr;
    if (button == nullptr) {
        return;
    }
    if (pDX->m_bSaveAndValidate) {
        value = button->isChecked() ? BST_CHECKED : BST_UNCHECKED;
    } else {
        button->setChecked(value != BST_UNCHECKED);
    }
}

void DDV_MinMaxInt(CDataExchange* pDX, int value, int minVal, int maxVal) {
    if (pDX->Failed() || !pDX->m_bSaveAndValidate || (value >= minVal && value <= maxVal)) {
        return;
    }
    const std::wstring text = L"Please enter an integer between " + std::to_wstring(minVal) +
                              L" and " + std::to_wstring(maxVal) + L".";
    AfxMessageBox(text.c_str(), MB_ICONEXCLAMATION);
    pDX->Fail();
}
