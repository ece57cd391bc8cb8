// Dialog templates as data, the way a resource script states them: the dialog's caption,
// font, size and style, and its controls in tab order with id, kind, text, position and size
// in dialog units and style. One builder turns a template into windows; sizes in dialog
// units become pixels from the template's font (a horizontal unit is a quarter of the font's
// average character width, a vertical unit an eighth of its height).
//
// Templates, bitmaps and icons are resources: a program registers them by id with a
// ResourceEntry at static initialisation, and the framework finds them by id.
#pragma once

#include <cstddef>
#include <span>

#include "ce/ui/windows.h"

// Window styles.
inline constexpr DWORD WS_POPUP = 0x80000000u;
inline constexpr DWORD WS_CHILD = 0x40000000u;
inline constexpr DWORD WS_VISIBLE = 0x10000000u;
inline constexpr DWORD WS_DISABLED = 0x08000000u;
inline constexpr DWORD WS_CAPTION = 0x00C00000u;
inline constexpr DWORD WS_BORDER = 0x00800000u;
inline constexpr DWORD WS_SYSMENU = 0x00080000u;
inline constexpr DWORD WS_GROUP = 0x00020000u;
inline constexpr DWORD WS_TABSTOP = 0x00010000u;
inline constexpr DWORD DS_MODALFRAME = 0x80u;
inline constexpr DWORD DS_SETFONT = 0x40u;
inline constexpr DWORD WS_EX_APPWINDOW = 0x00040000u;
inline constexpr DWORD WS_EX_CAPTIONOKBTN = 0x80000000u;

// Static, button, list view and trackbar styles the templates use.
inline constexpr DWORD SS_LEFT = 0x0u;
inline constexpr DWORD SS_CENTER = 0x1u;
inline constexpr DWORD BS_DEFPUSHBUTTON = 0x1u;
inline constexpr DWORD LVS_ICON = 0x0u;
inline constexpr DWORD LVS_SINGLESEL = 0x4u;
inline constexpr DWORD LVS_SHOWSELALWAYS = 0x8u;
inline constexpr DWORD LVS_NOCOLUMNHEADER = 0x4000u;
inline constexpr DWORD TBS_AUTOTICKS = 0x1u;

namespace ce::ui {

enum class ControlKind {
    PushButton,
    CheckBox,     // automatic check box
    RadioButton,  // automatic radio button; a group runs to the next control with WS_GROUP
    GroupBox,
    StaticText,
    StaticPicture,  // shows the bitmap resource `image` at its own size
    ListView,
    Slider,  // a horizontal trackbar
};

// Visible unless kHidden is among the styles; disabled with WS_DISABLED.
inline constexpr DWORD kHidden = 0x00000100u;  // "NOT WS_VISIBLE" in a resource script

struct DialogControl {
    int id;
    ControlKind kind;
    LPCWSTR text;  // null: none
    short x, y, cx, cy;
    DWORD style = 0;  // WS_GROUP, WS_TABSTOP, kHidden, WS_DISABLED, SS_*, BS_*, LVS_*, TBS_*
    UINT image = 0;   // bitmap resource of a static picture
};

struct DialogTemplate {
    UINT id;
    LPCWSTR caption;  // null: none
    LPCWSTR fontName;
    int pointSize;
    short cx, cy;
    DWORD style;  // WS_POPUP, WS_CAPTION, WS_SYSMENU, DS_MODALFRAME, WS_VISIBLE
    DWORD exStyle;
    std::span<const DialogControl> controls;
};

// A bitmap resource: an encoded image (PNG or BMP bytes).
struct BitmapResource {
    UINT id;
    std::span<const unsigned char> data;
};

// An icon resource: an encoded image.
struct IconResource {
    UINT id;
    std::span<const unsigned char> data;
};

// Registers a resource for the life of the program.
class ResourceEntry {
  public:
    explicit ResourceEntry(const DialogTemplate& dialog);
    explicit ResourceEntry(const BitmapResource& bitmap);
    explicit ResourceEntry(const IconResource& icon);
};

const DialogTemplate* FindDialogTemplate(UINT id);
const BitmapResource* FindBitmap(UINT id);
const IconResource* FindIcon(UINT id);

// The pixel size of dialog units in a template's font.
struct DialogBaseUnits {
    int cx;  // average character width in pixels
    int cy;  // character height in pixels
};
DialogBaseUnits BaseUnitsOf(const DialogTemplate& dialog);
// Converts a rectangle in dialog units (left, top, right, bottom) to pixels.
void MapDialogRect(const DialogTemplate& dialog, LPRECT rect);

}  // namespace ce::ui
