// Resource ids of the control panel: dialog templates, bitmaps, the icon, and the controls of
// the main, settings and about dialogs.
#pragma once

#include "ce/types.h"

// Templates.
inline constexpr UINT IDD_TSPANEL_DIALOG = 102;
inline constexpr UINT IDD_ABOUTBOX = 132;
inline constexpr UINT IDD_SETTINGS = 133;
inline constexpr UINT IDD_CALIBRATE = 130;

// Artwork.
inline constexpr UINT IDB_BANNER = 129;
inline constexpr UINT IDI_TSPANEL = 135;
inline constexpr UINT IDB_NOT_CALIBRATED = 137;
inline constexpr UINT IDB_CALIBRATED = 138;

// Main dialog (102).
inline constexpr int IDC_STATIC_BANNER = 1000;
inline constexpr int IDC_STATIC_NOTE = 1001;
inline constexpr int IDC_BUTTON_CALIBRATE = 1002;
inline constexpr int IDC_BUTTON_SETTINGS = 1003;
inline constexpr int IDC_BUTTON_ABOUT = 1004;
inline constexpr int IDC_BUTTON_EXIT = 1005;
inline constexpr int IDC_GROUP_SCREENS = 1006;
inline constexpr int IDC_STATIC_CALIBRATE_AFTER = 1010;
inline constexpr int IDC_BUTTON_RESET = 1068;
inline constexpr int IDC_GROUP_BUTTONS = 1069;
inline constexpr int IDC_STATIC_NEW_SCREEN = 1070;
inline constexpr int IDC_STATIC_INACCURATE = 1071;
inline constexpr int IDC_STATIC_RESET_AFTER = 1072;
inline constexpr int IDC_STATIC_DEFAULTS = 1073;
inline constexpr int IDC_LIST_SCREENS = 1077;

// About dialog (132).
inline constexpr int IDC_ABOUT_BANNER = 1016;
inline constexpr int IDC_STATIC_DRIVER = 1020;
inline constexpr int IDC_STATIC_FIRMWARE = 1021;
inline constexpr int IDC_DRIVER_VERSION = 1022;
inline constexpr int IDC_FIRMWARE_VERSION = 1023;
inline constexpr int IDC_STATIC_SEPARATOR = 1080;

// Settings dialog (133).
inline constexpr int IDC_BUTTON_APPLY = 1024;
inline constexpr int IDC_BUTTON_OK = 1025;
inline constexpr int IDC_BUTTON_CANCEL = 1026;
inline constexpr int IDC_GROUP_MODES = 1027;
inline constexpr int IDC_RADIO_CLICK_ON_TOUCH = 1028;
inline constexpr int IDC_RADIO_CLICK_ON_RELEASE = 1029;
inline constexpr int IDC_RADIO_MOUSE_EMULATION = 1030;
inline constexpr int IDC_GROUP_SENSITIVITY = 1031;
inline constexpr int IDC_SLIDER_DELAY = 1032;
inline constexpr int IDC_SLIDER_AREA = 1033;
inline constexpr int IDC_STATIC_DELAY = 1034;
inline constexpr int IDC_LABEL_DELAY = 1035;
inline constexpr int IDC_STATIC_AREA = 1036;
inline constexpr int IDC_LABEL_AREA = 1037;
inline constexpr int IDC_GROUP_OPTIONS = 1038;
inline constexpr int IDC_CHECK_ENABLE_TOUCH = 1039;
inline constexpr int IDC_CHECK_HIDE_CURSOR = 1040;
inline constexpr int IDC_CHECK_ENABLE_BEEP = 1042;
inline constexpr int IDC_RADIO_BEEP_ON_TOUCH = 1043;
inline constexpr int IDC_RADIO_BEEP_ON_RELEASE = 1044;
inline constexpr int IDC_RADIO_BEEP_BOTH = 1045;
inline constexpr int IDC_GROUP_CALIBRATE = 1046;
inline constexpr int IDC_RADIO_4_POINTS = 1047;
inline constexpr int IDC_RADIO_25_POINTS = 1048;
inline constexpr int IDC_GROUP_SMOOTHNESS = 1049;
inline constexpr int IDC_SLIDER_SMOOTHNESS = 1050;
inline constexpr int IDC_GROUP_BEEP_TYPE = 1051;
inline constexpr int IDC_RADIO_PC_SPEAKER = 1052;
inline constexpr int IDC_RADIO_SOUND_CARD = 1053;
inline constexpr int IDC_SLIDER_FREQUENCY = 1054;
inline constexpr int IDC_SLIDER_DURATION = 1055;
inline constexpr int IDC_STATIC_FREQ = 1056;
inline constexpr int IDC_LABEL_FREQUENCY = 1057;
inline constexpr int IDC_STATIC_DURATION = 1058;
inline constexpr int IDC_LABEL_DURATION = 1059;
inline constexpr int IDC_STATIC_HZ = 1060;
inline constexpr int IDC_STATIC_DURATION_MS = 1061;
inline constexpr int IDC_CHECK_TOUCH_SENSITIVITY = 1062;
inline constexpr int IDC_STATIC_DELAY_MS = 1063;
inline constexpr int IDC_STATIC_AREA_MM = 1064;
inline constexpr int IDC_LABEL_SMOOTHNESS = 1065;
inline constexpr int IDC_GROUP_BEEP_MODE = 1066;
