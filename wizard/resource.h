// Resource identifiers of Trelvik: dialog templates, pictures, icons and the
// control ids of every window. Used by the resource script and the code; test
// drivers work the windows by these ids, so they never change.
#pragma once

// Dialog templates.
#define IDD_WELCOME_PAGE 101
#define IDD_HEADER_PAGE 102
#define IDD_BOOT_FILES_PAGE 103
#define IDD_BASE_DIRECTORY_PAGE 104
#define IDD_OUTPUT_FILE_PAGE 105
#define IDD_SUMMARY_PAGE 106
#define IDD_ABOUT_BOX 109
#define IDD_WRITE_PROGRESS 1038

// Pictures: the welcome page's band and the inner pages' emblem.
#define IDB_WELCOME_PICTURE 102
#define IDB_PAGE_PICTURE 106

// Window icons: small (title bar) and large (task switcher).
#define IDI_SMALL_ICON 104
#define IDI_LARGE_ICON 105

// Navigation buttons of every page.
#define IDC_NEXT 1000
#define IDC_BACK 3
#define IDC_CANCEL 2

// WelcomePage.
#define IDC_ABOUT 1018
#define IDC_WELCOME_TEXT 1048
#define IDC_WELCOME_HINT 1049

// Explanatory text at the top of HeaderPage and BootFilesPage.
#define IDC_PAGE_INTRO 1050

// HeaderPage.
#define IDC_GAME_ID_LABEL 1051
#define IDC_GAME_ID 1008
#define IDC_GAME_NAME_LABEL 1052
#define IDC_GAME_NAME 1009
#define IDC_MAKER_ID_LABEL 1053
#define IDC_MAKER_ID 1003
#define IDC_REGION_LABEL 1054
#define IDC_REGION 1004
#define IDC_IMPORT_HEADER 1007
#define IDC_IMPORT_IMAGE_PATH 1006
#define IDC_IMPORT_BROWSE 1005

// BootFilesPage.
#define IDC_APPLOADER_LABEL 1055
#define IDC_APPLOADER_PATH 1010
#define IDC_APPLOADER_BROWSE 1011
#define IDC_MAIN_PROGRAM_LABEL 1056
#define IDC_MAIN_PROGRAM_PATH 1002
#define IDC_MAIN_PROGRAM_BROWSE 1006

// BaseDirectoryPage.
#define IDC_BASE_DIRECTORY_INTRO 1058
#define IDC_BASE_DIRECTORY_LABEL 1057
#define IDC_BASE_DIRECTORY 1012
#define IDC_BASE_DIRECTORY_BROWSE 1013

// OutputFilePage.
#define IDC_OUTPUT_INTRO 1059
#define IDC_OUTPUT_LABEL 1060
#define IDC_OUTPUT_PATH 1001
#define IDC_OUTPUT_BROWSE 1005
#define IDC_MAXIMISE_IMAGE 1014

// SummaryPage.
#define IDC_SUMMARY_INTRO 1061
#define IDC_SUMMARY_LIST 1006

// AboutBox.
#define IDC_ABOUT_NAME 1043
#define IDC_ABOUT_VERSION 1044
#define IDC_ABOUT_AUTHOR 1045
#define IDC_ABOUT_TERMS 1046

// WriteProgressDialog.
#define IDC_IMAGE_NAME 1016
#define IDC_SIZE_LABEL 1062
#define IDC_IMAGE_SIZE 1017
#define IDC_LOG 1015
#define IDC_STAGE_LABEL 1063
#define IDC_STAGE_BAR 1040
#define IDC_OVERALL_LABEL 1064
#define IDC_OVERALL_BAR 1041
#define IDC_OPEN_IMAGE 3
#define IDC_QUIT 1

// The program's version: shown by the about box and recorded in the version
// resource, which Explorer's file properties show.
#define TRELVIK_VERSION_NUMBERS 1,0,0,0
#define TRELVIK_VERSION_TEXT "1.00"
