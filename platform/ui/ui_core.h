// What the parts of the framework share among themselves (interface thread).
#pragma once

#include <QFont>
#include <QIcon>
#include <QImage>
#include <QLabel>
#include <QString>
#include <QWidget>
#include <string>
#include <vector>

#include "ce/ui/dialog_template.h"
#include "ce/ui/windows.h"

class CDialog;
class CWnd;

namespace ce::ui {

QString ToQString(LPCWSTR text);
std::wstring ToWide(const QString& text);

// The text a window shows: a top-level window's title, a control's text.
QString WidgetText(const QWidget* widget);
void SetWidgetText(QWidget* widget, const QString& text);

// The free font that stands in for a template's font, at the template's point size.
QFont DialogFont(const DialogTemplate& dialog);
QFont DialogFontOfSize(int pointSize);

// A message box with an OK button, shown modally over its owner's window; returns IDOK.
int ShowMessageBox(HWND owner, const QString& caption, const QString& text);
// The owner's window with such a box over it, as the screen shows them.
QImage PictureOfMessageBox(HWND owner, const QString& caption, const QString& text);

// What windows of this process do on their own interface thread, for whichever thread or
// process asked.
void ShowLocalWindow(HWND hWnd, int nCmdShow);
void BringLocalWindowToFront(HWND hWnd);
void PostLocal(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);
// Publishes a top-level window's class, title and visibility after a change.
void RepublishWindow(HWND hWnd);

// The hooks of ce/ui/host/ui_host.h.
bool AnswerMessageBox(HWND owner, LPCWSTR text, LPCWSTR caption, UINT type, int* result);
void NotifyDialogShown(CDialog& dialog);

// Icons made by LoadIcon.
HICON AddIcon(const QIcon& icon);
QIcon IconOf(HICON hIcon);

// The object standing for a window that no object was attached to, made on first use and
// dropped with the window.
CWnd* TemporaryObject(HWND hWnd);
void DropTemporaryObject(HWND hWnd);
// Destroys a window and its children: records, temporary objects, published file, widget.
void DestroyWindowTree(HWND hWnd);

// The Windows key code of a Qt key, 0 for keys the framework does not name.
UINT VirtualKeyOf(int qtKey);
int QtKeyOf(UINT vk);

// Tells a list view's parent about changed item states (LVN_ITEMCHANGED).
void NotifyListChanges(HWND list);

// A one-line static text as wide as its text needs, at least its template rectangle.
void FitLabel(QLabel* label);

// Builds the controls of a template into a dialog window (its record already registered).
void BuildControls(const DialogTemplate& dialog, QWidget* window, HWND dialogHandle);
// The radio buttons of the group that holds the given control, in tab order.
std::vector<HWND> RadioGroupOf(HWND control);

// Installs the keyboard filter that gives dialogs their PreTranslateMessage.
void InstallKeyboardFilter();

// The cursor chosen with SetCursor, applied to every top-level window.
void ApplyCursorToWindows();

}  // namespace ce::ui
