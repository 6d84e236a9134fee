// Drives the real packaging window from outside, as an operator does, so that a native
// test can compare what it writes: usage window_drop [--compress [--close]] PROGRAM PATH...
// Starts PROGRAM (a plain Lodkin.exe), drops the PATHs onto its list in one WM_DROPFILES
// whose block lives in the window's process (as the shell hands it over), checks
// "Compress" with --compress, clicks Pack, and closes the box and the window. Prints one
// "row:TEXT" line per list row, then "status:TEXT" and "box:CAPTION:TEXT". Exits 0 when it
// got as far as the box, 2 otherwise. While a compressed pack runs it prints each new
// status text as "progress:TEXT", and at the end "answered:N" (messages the window answered
// within a second while packing) and "input:N" (times it found the list, the box or a
// button taking input). With --close it closes the window at the first "Compressing"
// text instead and prints "closed:1" once the process has ended.
#include <stdio.h>
#include <string.h>
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

int TakesInput(HWND window) {
  int taking = 0;
  for (int id : {IDC_FILE_LIST, IDC_COMPRESS, IDC_PACK, IDC_DELETE}) taking += IsWindowEnabled(GetDlgItem(window, id));
  return taking;
}

// Until the box comes (or, with `close`, the first "Compressing" text), watches the
// window: its status texts, whether it answers, whether it takes input.
HWND WatchPack(DWORD processId, HWND window, int close) {
  char last[260] = {};
  int answered = 0, input = 0;
  for (int tries = 0; tries < 6000; ++tries) {
    Search search = {processId, window, nullptr};
    EnumWindows(&FindDialogOf, reinterpret_cast<LPARAM>(&search));
    if (search.found != nullptr) {
      printf("answered:%d\ninput:%d\n", answered, input);
      return search.found;
    }
    char status[260] = {};
    DWORD_PTR ignored = 0;
    if (SendMessageTimeoutA(window, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 1000, &ignored)) ++answered;
    GetDlgItemTextA(window, IDC_STATUS, status, sizeof(status));
    if (strncmp(status, "Compressing", 11) == 0) input += TakesInput(window);
    if (strcmp(status, last) != 0) printf("progress:%s\n", status);
    strcpy(last, status);
    if (close && strncmp(status, "Compressing", 11) == 0) return nullptr;
    Sleep(50);
  }
  return nullptr;
}

// Clicks Pack and answers its box; 0 when no box came.
int PackAndCloseBox(DWORD processId, HWND window, int compress, int close) {
  if (compress) SendMessageA(GetDlgItem(window, IDC_COMPRESS), BM_SETCHECK, BST_CHECKED, 0);
  PostMessageA(window, WM_COMMAND, MAKEWPARAM(IDC_PACK, BN_CLICKED),
               reinterpret_cast<LPARAM>(GetDlgItem(window, IDC_PACK)));
  HWND box = compress ? WatchPack(processId, window, close) : WaitForDialog(processId, window);
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
  int compress = 0, close = 0;
  while (argc > 1 && strncmp(argv[1], "--", 2) == 0) {
    compress |= strcmp(argv[1], "--compress") == 0;
    close |= strcmp(argv[1], "--close") == 0;
    ++argv;
    --argc;
  }
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
    reached = PackAndCloseBox(process.dwProcessId, window, compress, close);
    PostMessageA(window, WM_SYSCOMMAND, SC_CLOSE, 0);
  }
  if (WaitForSingleObject(process.hProcess, 20000) != WAIT_OBJECT_0) {
    TerminateProcess(process.hProcess, 1);
  } else if (close) {
    printf("closed:1\n");
    reached = 1;
  }
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  fflush(stdout);
  return reached ? 0 : 2;
}
