// Ombrel's entry: reads the image named on the command line, readies the
// common controls and the reader, and runs the main window.
#include <windows.h>

#include <commctrl.h>

#include <string>

#include "explorer/explorer_shell.h"
#include "explorer/resource.h"
#include "reader/reader.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  std::string image_path;
  const bool has_image = parse_command_line(GetCommandLineA(), &image_path);

  // The extended combo box class, and the classes the windows are made of.
  INITCOMMONCONTROLSEX controls = {
      sizeof(controls), ICC_USEREX_CLASSES | ICC_TREEVIEW_CLASSES | ICC_LISTVIEW_CLASSES |
                            ICC_BAR_CLASSES | ICC_PROGRESS_CLASS | ICC_ANIMATE_CLASS |
                            ICC_TAB_CLASSES};
  if (!InitCommonControlsEx(&controls)) {
    MessageBoxA(nullptr, "COMCTL32.DLL", "DLL", MB_OK | MB_ICONERROR);
    // The window would fail without its controls: end with code 1 at once.
    return 1;
  }

  IsoReset();
  IsoSetCallbacks(copy_file_started, copy_progress, copy_file_finished, copy_operation_finished);

  // The main window opens the image as it starts.
  LPARAM start_image = has_image ? reinterpret_cast<LPARAM>(image_path.c_str()) : 0;
  return int(DialogBoxParamA(instance, MAKEINTRESOURCEA(IDD_MAIN_WINDOW), nullptr, MainWindowProc,
                             start_image));
}
