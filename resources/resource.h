// Identifiers of the host's program resources.
#pragma once

#define IDI_FONTISHOST 107
#define IDI_SMALL 108
#define IDC_FONTISHOST 109
#define IDS_APP_CLASS 109
// The main window's class (string IDS_APP_CLASS); tools find running hosts by it.
#define FONTIS_WINDOW_CLASS "DUOSCOPEFONTIS"

#define IDM_ABOUT 104
#define IDM_EXIT 105
#define IDM_DEVICE_SETTING 32778
#define IDM_EFFECTS 32779
#define IDM_FEED_VIRTUAL_CAMERA 32781
#define IDM_PREVIEW 32785
