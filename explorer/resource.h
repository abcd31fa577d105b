// Resource identifiers of Ombrel: dialog templates, menus, pictures, icons,
// the animation and the control and command ids of every window. Used by the
// resource script and the code; test drivers work the windows by these ids,
// so they never change.
#pragma once

// Dialog templates.
#define IDD_MAIN_WINDOW 101
#define IDD_PROPERTIES 116
#define IDD_ABOUT 119
#define IDD_COPY_PROGRESS 1038
#define IDD_RENAME 126
#define IDD_EDIT_HEADER 127

// Menus: the menu bar and the right-click pop-up (its first submenu).
#define IDM_MAIN_MENU 124
#define IDM_POPUP_MENU 120

// Pictures: the tree's 64 x 16 strip (open folder, closed folder, document,
// disc drive) and the toolbar's 96 x 16 strip (six 16 x 16 images).
#define IDB_TREE_IMAGES 108
#define IDB_TOOLBAR_IMAGES 113

// Icons: the window's small and large icons, the list's document and folder.
#define IDI_SMALL_ICON 111
#define IDI_LARGE_ICON 112
#define IDI_DOCUMENT 114
#define IDI_FOLDER 115

// The copy animation (AVI resource).
#define IDR_COPY_ANIMATION 1039

// MainWindow controls. The toolbar shares the tree's id; both are told apart
// by their window handles.
#define IDC_TREE 1000
#define IDC_LIST 1001
#define IDC_TOOLBAR 1000
#define IDC_STATUS_BAR 10000

// Menu 124 and pop-up 120 commands.
#define IDM_QUIT 40003
#define IDM_OPEN 40004
#define IDM_CLOSE 40005
#define IDM_EXTRACT_SELECTION 40006
#define IDM_EXTRACT_WHOLE_IMAGE 40009
#define IDM_ONLINE_HELP 40010
#define IDM_ABOUT 40011
#define IDM_PROPERTIES 40012
#define IDM_POPUP_EXTRACT 40015
#define IDM_EXTRACT_BOOT_DATA 40020
#define IDM_EXTRACT_APPLOADER 40021
#define IDM_EXTRACT_FST 40022
#define IDM_EXTRACT_MAIN_PROGRAM 40025

// The edit menu (編集) of menu 124; Del and F2 send IDM_EDIT_REMOVE and
// IDM_EDIT_RENAME.
#define IDM_EDIT_REPLACE 40035
#define IDM_EDIT_ADD 40036
#define IDM_EDIT_REMOVE 40037
#define IDM_EDIT_RENAME 40038
#define IDM_EDIT_HEADER 40039

// Toolbar commands (ID_, as commands are named).
#define ID_TOOLBAR_BACK 0
#define ID_TOOLBAR_FORWARD 1
#define ID_TOOLBAR_UP 3
#define ID_TOOLBAR_EXTRACT_SELECTION 5

// The main window's keys (accelerator table IDA_MAIN_WINDOW): Enter, Back,
// Alt+Left, Alt+Right, and the context-menu key or Shift+F10; Ctrl+O sends
// IDM_OPEN.
#define IDA_MAIN_WINDOW 125
#define ID_KEY_OPEN_ROW 40030
#define ID_KEY_UP 40031
#define ID_KEY_BACK 40032
#define ID_KEY_FORWARD 40033
#define ID_KEY_POPUP 40034

// AboutDialog.
#define IDC_ABOUT_TERMS 1034
#define IDC_ABOUT_AUTHOR 1035
#define IDC_ABOUT_VERSION 1036
#define IDC_ABOUT_TITLE 1037

// CopyProgressDialog. The animation is created at run time.
#define IDC_COPY_BAR 1040
#define IDC_COPY_TEXT 1042
#define IDC_COPY_ANIMATION 100001

// PropertiesDialog. The tab control is created at run time.
#define IDC_PROP_NAME_LABEL 1011
#define IDC_PROP_LANGUAGE 1012
#define IDC_PROP_DESCRIPTION 1013
#define IDC_PROP_SHORT_NAME 1015
#define IDC_PROP_SHORT_MAKER 1016
#define IDC_PROP_LONG_NAME 1017
#define IDC_PROP_LONG_MAKER 1018
#define IDC_PROP_COUNTS 1019
#define IDC_PROP_BANNER_FRAME 1020
#define IDC_PROP_UPPER_SEPARATOR 1021
#define IDC_PROP_LOWER_SEPARATOR 1022
#define IDC_PROP_NAME 1025
#define IDC_PROP_MAKER 1026
#define IDC_PROP_PRODUCT_CODE 1027
#define IDC_PROP_VIDEO 1028
#define IDC_PROP_IMAGE_PATH 1029
#define IDC_PROP_MAKER_LABEL 1030
#define IDC_PROP_PRODUCT_CODE_LABEL 1031
#define IDC_PROP_VIDEO_LABEL 1032
#define IDC_PROP_BANNER_LABEL 1033
#define IDC_PROP_TAB 10000

// RenameDialog.
#define IDC_RENAME_LABEL 1043
#define IDC_RENAME_NAME 1044

// EditHeaderDialog: each field's label and edit (the region a drop-down list).
#define IDC_HEADER_GAME_CODE_LABEL 1045
#define IDC_HEADER_GAME_CODE 1046
#define IDC_HEADER_MAKER_CODE_LABEL 1047
#define IDC_HEADER_MAKER_CODE 1048
#define IDC_HEADER_GAME_NAME_LABEL 1049
#define IDC_HEADER_GAME_NAME 1050
#define IDC_HEADER_REGION_LABEL 1051
#define IDC_HEADER_REGION 1052
#define IDC_HEADER_DISC_NUMBER_LABEL 1053
#define IDC_HEADER_DISC_NUMBER 1054
#define IDC_HEADER_REVISION_LABEL 1055
#define IDC_HEADER_REVISION 1056

// The program's version: shown by the about box and recorded in the version
// resource, which Explorer's file properties show.
#define OMBREL_VERSION_NUMBERS 1,6,0,0
#define OMBREL_VERSION_TEXT "1.06"
