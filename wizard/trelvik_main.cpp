// Trelvik's entry: opens the welcome page; the pages open each other from
// there. The process normally ends through exit_wizard.
#include <windows.h>

#include <commctrl.h>

#include "wizard/resource.h"
#include "wizard/wizard_pages.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  // The progress dialog's bars are common controls.
  INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_PROGRESS_CLASS};
  InitCommonControlsEx(&controls);
  return int(DialogBoxParamA(instance, MAKEINTRESOURCEA(IDD_WELCOME_PAGE), nullptr, WelcomePageProc, 0));
}
