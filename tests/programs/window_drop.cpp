// Drives the real packaging window from outside, as an operator does, so that a native
// test can compare what it writes: usage window_drop PROGRAM PATH...
// Starts PROGRAM (a plain Lodkin.exe), drops the PATHs onto its list in one WM_DROPFILES
// whose block lives in the window's process (as the shell hands it over), clicks Pack,
// and closes the box and the window. Prints one "row:TEXT" line per list row, then
// "status:TEXT" and "box:CAPTION:TEXT". Exits 0 when it got as far as the box, 2 otherwise.
#include <stdio.h>
#include <windows.h>

#include <commctrl.h>
#include <shlobj.h>

#include <string>
#include <vector>

#include "ui/resource.h"

namespace {

struct Search {
  DWORD process;
  HWND except;
  HWND found;
};

BOOL CALLBACK FindDialogOf(HWND window, LPARAM parameter) {
  Search* search = reinterpret_cast<Search*>(parameter);
  DWORD process = 0;
  GetWindowThreadProcessId(window, &process);
  char className[16] = {};
  GetClassNameA(window, className, sizeof(className));
  if (process != search->process || window == search->except || !IsWindowVisible(window) ||
      strcmp(className, "#32770") != 0) {
    return TRUE;
  }
  search->found = window;
  return FALSE;
}

// A visible dialog of the process other than `except`, waited for up to 30 s.
HWND WaitForDialog(DWORD process, HWND except) {
  for (int tries = 0; tries < 600; ++tries) {
    Search search = {process, except, nullptr};
    EnumWindows(&FindDialogOf, reinterpret_cast<LPARAM>(&search));
    if (search.found != nullptr) return search.found;
    Sleep(50);
  }
  return nullptr;
}

// Memory in the window's process, filled from here.
void* CopyInto(HANDLE process, const void* bytes, size_t size) {
  void* remote = VirtualAllocEx(process, nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
  if (remote != nullptr && !WriteProcessMemory(process, remote, bytes, size, nullptr)) return nullptr;
  return remote;
}

void DropInto(HANDLE process, HWND list, const std::vector<std::string>& paths) {
  std::vector<char> block(sizeof(DROPFILES), 0);
  reinterpret_cast<DROPFILES*>(block.data())->pFiles = sizeof(DROPFILES);
  for (const std::string& path : paths) block.insert(block.end(), path.c_str(), path.c_str() + path.size() + 1);
  block.push_back(0);
  void* remote = CopyInto(process, block.data(), block.size());
  if (remote != nullptr) SendMessageA(list, WM_DROPFILES, reinterpret_cast<WPARAM>(remote), 0);
}

void PrintRows(HANDLE process, HWND list) {
  const int count = static_cast<int>(SendMessageA(list, LVM_GETITEMCOUNT, 0, 0));
  char* text = static_cast<char*>(CopyInto(process, std::vector<char>(260).data(), 260));
  for (int row = 0; row < count && text != nullptr; ++row) {
    LVITEMA item = {};
    item.pszText = text;
    item.cchTextMax = 260;
    void* remoteItem = CopyInto(process, &item, sizeof(item));
    SendMessageA(list, LVM_GETITEMTEXTA, row, reinterpret_cast<LPARAM>(remoteItem));
    char local[260] = {};
    ReadProcessMemory(process, text, local, sizeof(local) - 1, nullptr);
    printf("row:%s\n", local);
  }
}

// Clicks Pack and answers its box; 0 when no box came.
int PackAndCloseBox(DWORD processId, HWND window) {
  PostMessageA(window, WM_COMMAND, MAKEWPARAM(IDC_PACK, BN_CLICKED),
               reinterpret_cast<LPARAM>(GetDlgItem(window, IDC_PACK)));
  HWND box = WaitForDialog(processId, window);
  if (box == nullptr) return 0;
  char caption[64] = {}, text[600] = {}, status[260] = {};
  GetWindowTextA(box, caption, sizeof(caption));
  GetDlgItemTextA(box, 0xFFFF, text, sizeof(text));
  GetDlgItemTextA(window, IDC_STATUS, status, sizeof(status));
  printf("status:%s\nbox:%s:%s\n", status, caption, text);
  PostMessageA(box, WM_COMMAND, IDOK, 0);
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) return 2;
  std::string command = std::string("\"") + argv[1] + "\"";
  STARTUPINFOA startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process = {};
  if (!CreateProcessA(argv[1], &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
    return 2;
  }
  HWND window = WaitForDialog(process.dwProcessId, nullptr);
  int reached = 0;
  if (window != nullptr) {
    const HWND list = GetDlgItem(window, IDC_FILE_LIST);
    DropInto(process.hProcess, list, std::vector<std::string>(argv + 2, argv + argc));
    PrintRows(process.hProcess, list);
    reached = PackAndCloseBox(process.dwProcessId, window);
    PostMessageA(window, WM_SYSCOMMAND, SC_CLOSE, 0);
  }
  if (WaitForSingleObject(process.hProcess, 20000) != WAIT_OBJECT_0) TerminateProcess(process.hProcess, 1);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  fflush(stdout);
  return reached ? 0 : 2;
}
