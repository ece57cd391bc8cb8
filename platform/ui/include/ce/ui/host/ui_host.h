// The dialog framework as a host, a tool or a test sees it: starting the interface in a
// process, running its events, the shell's task bar, and driving dialogs the way a person
// does (clicking a control by its id, moving a slider, pressing a key), for tests and for
// screenshots. Nothing here is used by the control panel itself.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "ce/ui/windows.h"

class CDialog;

namespace ce::ui::host {

// Starts the interface on the calling thread, which becomes the interface thread. The Qt
// platform is the environment's QT_QPA_PLATFORM, else "xcb" with a DISPLAY and "offscreen"
// without one. Calling it again does nothing.
void StartInterface(int argc = 0, char** argv = nullptr);
// Why windows could not be seen: empty when they can (an X display that opens, or a platform
// other than xcb chosen in QT_QPA_PLATFORM), else what is missing, for a message.
std::string DisplayProblem();
bool InterfaceStarted();
// Stops serving windows to other processes and ends the interface (before exit).
void StopInterface();
bool OnInterfaceThread();

// Runs posted messages and other events on the interface thread: once, or until pred holds
// (true) or timeoutMs of real time have passed (false).
void ProcessEvents();
bool ProcessEventsUntil(const std::function<bool()>& pred, int timeoutMs = 10000);

// Message boxes answered by a hook instead of being shown (a test's); its result is the
// button the box returns. An empty hook shows them again.
using MessageBoxHook = std::function<int(HWND owner, const std::wstring& text,
                                         const std::wstring& caption, UINT type)>;
void SetMessageBoxHook(MessageBoxHook hook);

// Called on the interface thread, from the event loop, each time a dialog has been built,
// initialised and shown (modal or modeless). An empty hook removes it.
using DialogShownHook = std::function<void(CDialog& dialog)>;
void SetDialogShownHook(DialogShownHook hook);

// A person's actions, on the interface thread. Each returns false when the person could not
// do it: the control is missing, hidden or disabled, or the window is gone.
bool ClickControl(HWND dialog, int id);               // a button, check box or radio
bool ClickListItem(HWND dialog, int id, int item);    // an item of a list view
bool DragSlider(HWND dialog, int id, int pos);        // the thumb to pos, then released
bool PressKey(HWND window, UINT vk);                  // to the window's focused control
bool PressKeyOn(HWND dialog, int id, UINT vk);        // focuses the control, then the key
bool CloseWindow(HWND window);                        // the window manager's close
bool TouchCaptionButton(HWND window, bool okButton);  // the caption's OK button or close box
// Depth of the wait cursor (0: not shown) and the cursor set with SetCursor.
int WaitCursorDepth();

// The window's picture as the screen would show it, written as a PNG file.
bool GrabWindow(HWND window, const std::string& pngPath);
// The owner's window with a message box over it, as MessageBox would show it.
bool GrabMessageBox(HWND owner, LPCWSTR text, LPCWSTR caption, const std::string& pngPath);

// Where a dialog's visible controls draw, in its client coordinates, for layout checks: the
// rectangles each control puts ink on (a group box: its frame's lines and label), where its
// text is drawn (empty: none) and the space the control leaves its text.
struct ControlExtent {
    int id = 0;
    std::wstring caption;  // the text shown
    std::vector<RECT> ink;
    RECT text{};
    RECT textSpace{};
};
std::vector<ControlExtent> ControlExtents(HWND dialog);

// The shell's task bar: a strip along the bottom of the screen, a top-level window of class
// "HHTaskBar" that programs find, hide and show. CreateTaskBar shows it in this process;
// RunShell is a shell program's whole main (the task bar until SIGINT or SIGTERM).
HWND CreateTaskBar();
int RunShell(int argc, char** argv);

}  // namespace ce::ui::host
