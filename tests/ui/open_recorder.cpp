// A stand-in for the program the shell starts to open a file: it writes the
// command line it was given to the file named by OPEN_RECORDER_FILE and exits.
// The UI tests register it as the handler of a file type, so a driver can see
// exactly what a shell open passed on.
//
// The file, in UTF-8: the command line as received on the first line, then
// each argument after the program's own name on a line of its own. It is
// written under another name and renamed, so a reader never sees half of it.
// Exit status 0 when the record was written, 1 when it could not be, 2 when
// OPEN_RECORDER_FILE is not set.
#include <windows.h>
#include <shellapi.h>

#include <string>

namespace {

std::string to_utf8(const std::wstring& text) {
  if (text.empty()) return std::string();
  int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), nullptr, 0, nullptr, nullptr);
  std::string bytes(size_t(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), &bytes[0], size, nullptr, nullptr);
  return bytes;
}

bool write_file(const std::wstring& path, const std::string& bytes) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  bool ok = WriteFile(file, bytes.data(), DWORD(bytes.size()), &written, nullptr) && written == bytes.size();
  return CloseHandle(file) && ok;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  wchar_t target[MAX_PATH * 2];
  DWORD length = GetEnvironmentVariableW(L"OPEN_RECORDER_FILE", target, MAX_PATH * 2);
  if (length == 0 || length >= MAX_PATH * 2) return 2;

  const wchar_t* command_line = GetCommandLineW();
  std::string record = to_utf8(command_line) + "\n";
  int count = 0;
  wchar_t** arguments = CommandLineToArgvW(command_line, &count);
  for (int i = 1; arguments && i < count; ++i) record += to_utf8(arguments[i]) + "\n";
  LocalFree(arguments);

  std::wstring partial = std::wstring(target) + L".partial";
  if (!write_file(partial, record)) return 1;
  return MoveFileExW(partial.c_str(), target, MOVEFILE_REPLACE_EXISTING) ? 0 : 1;
}
