// Top-level windows across processes. Every process that has top-level windows publishes
// them in a folder of the user's (a small file per window: class, title, visibility) and
// listens on a datagram socket there for what other processes ask of its windows: show or
// hide, come to the front, take a posted message. The folder is $OTS_WINDOW_DIR, else
// $XDG_RUNTIME_DIR/ots/windows, else /tmp/ots-<uid>/windows.
#pragma once

#include <string>
#include <vector>

#include "ce/ui/windows.h"

namespace ce::ui {

struct PublishedWindow {
    HWND hwnd = nullptr;
    std::wstring className;
    std::wstring title;
    bool visible = false;
};

// Publishes or updates a window of this process (interface thread).
void PublishWindow(const PublishedWindow& window);
void WithdrawWindow(HWND hWnd);
// The foreground window as last set by any process.
void PublishForeground(HWND hWnd);
HWND PublishedForeground();

// Windows of other live processes.
std::vector<PublishedWindow> PublishedWindows();
bool FindPublished(HWND hWnd, PublishedWindow* out);

// Requests to another process; false when it cannot be reached.
bool RequestShow(HWND hWnd, int nCmdShow);
bool RequestForeground(HWND hWnd);
bool RequestPost(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);
// Posts to the top-level windows of every other process.
void RequestBroadcast(UINT message, WPARAM wParam, LPARAM lParam);

// Ends listening and withdraws this process's windows.
void CloseStation();

std::string WindowFolder();

}  // namespace ce::ui
