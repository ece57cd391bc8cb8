// The application object, AfxWinMain, message boxes, icons and cursors.
#include "ce/ui/app.h"

#include <QApplication>
#include <QIcon>
#include <QPixmap>
#include <atomic>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "ce/ui/dialog_template.h"
#include "ce/ui/host/ui_host.h"
#include "ui_core.h"
#include "window_table.h"

namespace ce::ui {
namespace {

CWinApp* g_app = nullptr;
std::wstring g_appName;
std::atomic<HCURSOR> g_cursor{reinterpret_cast<HCURSOR>(std::uintptr_t{32512})};

std::vector<QIcon>& Icons() {
    static std::vector<QIcon> icons;
    return icons;
}

constexpr std::uintptr_t kArrow = 32512;
constexpr std::uintptr_t kWait = 32514;
constexpr std::uintptr_t kHiddenCursor = 1;  // what SetCursor(nullptr) leaves

}  // namespace

HICON AddIcon(const QIcon& icon) {
    Icons().push_back(icon);
    return reinterpret_cast<HICON>(Icons().size());
}

QIcon IconOf(HICON hIcon) {
    const auto index = reinterpret_cast<std::uintptr_t>(hIcon);
    return index >= 1 && index <= Icons().size() ? Icons()[index - 1] : QIcon();
}

void ApplyCursorToWindows() {
    const auto shape = reinterpret_cast<std::uintptr_t>(g_cursor.load());
    const Qt::CursorShape cursor = shape == kHiddenCursor ? Qt::BlankCursor
                                   : shape == kWait       ? Qt::WaitCursor
                                                          : Qt::ArrowCursor;
    for (HWND hwnd : TopLevelHandles()) {
        if (QWidget* widget = WidgetOf(hwnd)) {
            widget->setCursor(cursor);
        }
    }
}

}  // namespace ce::ui

using namespace ce::ui;

CWinApp::CWinApp(LPCWSTR lpszAppName) {
    g_app = this;
    if (lpszAppName != nullptr) {
        g_appName = lpszAppName;
        m_pszAppName = g_appName.c_str();
    }
}

CWinApp::~CWinApp() {
    if (g_app == this) {
        g_app = nullptr;
    }
}

BOOL CWinApp::InitInstance() {
    return TRUE;
}

int CWinApp::ExitInstance() {
    return 0;
}

int CWinApp::Run() {
    const int code = QApplication::exec();
    ExitInstance();
    return code;
}

HICON CWinApp::LoadIconW(UINT nIDResource) const {
    const IconResource* resource = FindIcon(nIDResource);
    if (resource == nullptr || !InterfaceThreadNow()) {
        return nullptr;
    }
    QPixmap picture;
    if (!picture.loadFromData(resource->data.data(), static_cast<uint>(resource->data.size()))) {
        return nullptr;
    }
    return AddIcon(QIcon(picture));
}

CWinApp* AfxGetApp() {
    return g_app;
}

CWnd* AfxGetMainWnd() {
    return g_app != nullptr ? g_app->m_pMainWnd : nullptr;
}

int AfxMessageBox(LPCWSTR lpszText, UINT nType) {
    const CWnd* main = AfxGetMainWnd();
    const LPCWSTR caption =
        g_app != nullptr && g_app->m_pszAppName != nullptr ? g_app->m_pszAppName : L"";
    return MessageBoxW(main != nullptr ? main->m_hWnd : nullptr, lpszText, caption, nType);
}

int AfxWinMain(int argc, char** argv) {
    // Without a display the program ends at once, before its InitInstance takes anything.
    if (const std::string problem = ce::ui::host::DisplayProblem(); !problem.empty()) {
        const std::string program =
            argc > 0 ? std::filesystem::path(argv[0]).filename().string() : "program";
        std::fprintf(stderr, "%s: %s\n", program.c_str(), problem.c_str());
        return 1;
    }
    ce::ui::host::StartInterface(argc, argv);
    if (g_app == nullptr) {
        return 1;
    }
    if (g_app->m_pszAppName == nullptr) {
        const std::string program = argc > 0 ? std::filesystem::path(argv[0]).stem().string() : "";
        g_appName = QString::fromStdString(program).toStdWString();
        g_app->m_pszAppName = g_appName.c_str();
    }
    int code = 0;
    if (g_app->InitInstance()) {
        code = g_app->Run();
    } else {
        code = g_app->ExitInstance();
    }
    ce::ui::host::StopInterface();
    return code;
}

int MessageBoxW(HWND hWnd, LPCWSTR lpText, LPCWSTR lpCaption, UINT uType) {
    int answer = IDOK;
    if (AnswerMessageBox(hWnd, lpText, lpCaption, uType, &answer)) {
        return answer;
    }
    if (!InterfaceThreadNow()) {
        return 0;
    }
    return ShowMessageBox(hWnd, ToQString(lpCaption != nullptr ? lpCaption : L"Error"),
                          ToQString(lpText));
}

HCURSOR LoadCursorW(HINSTANCE, LPCWSTR lpCursorName) {
    const auto id = reinterpret_cast<std::uintptr_t>(lpCursorName);
    return id == kArrow || id == kWait ? reinterpret_cast<HCURSOR>(id) : nullptr;
}

HCURSOR SetCursor(HCURSOR hCursor) {
    const HCURSOR previous =
        g_cursor.exchange(hCursor != nullptr ? hCursor : reinterpret_cast<HCURSOR>(kHiddenCursor));
    RunOnInterface([] { ApplyCursorToWindows(); });
    return previous == reinterpret_cast<HCURSOR>(kHiddenCursor) ? nullptr : previous;
}

HCURSOR GetCursor() {
    const HCURSOR cursor = g_cursor;
    return cursor == reinterpret_cast<HCURSOR>(kHiddenCursor) ? nullptr : cursor;
}
