// The dialog procedures of the wizard's windows, one source file each.
#pragma once

#include <windows.h>

INT_PTR CALLBACK WelcomePageProc(HWND, UINT, WPARAM, LPARAM);
INT_PTR CALLBACK HeaderPageProc(HWND, UINT, WPARAM, LPARAM);
INT_PTR CALLBACK BootFilesPageProc(HWND, UINT, WPARAM, LPARAM);
INT_PTR CALLBACK BaseDirectoryPageProc(HWND, UINT, WPARAM, LPARAM);
INT_PTR CALLBACK OutputFilePageProc(HWND, UINT, WPARAM, LPARAM);
INT_PTR CALLBACK SummaryPageProc(HWND, UINT, WPARAM, LPARAM);
INT_PTR CALLBACK AboutBoxProc(HWND, UINT, WPARAM, LPARAM);
INT_PTR CALLBACK WriteProgressDialogProc(HWND, UINT, WPARAM, LPARAM);
