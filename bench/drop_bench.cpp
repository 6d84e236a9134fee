// Drops COUNT files onto the packaging window's list in one WM_DROPFILES, as the shell
// hands them over, and prints how long the list took and how often it was painted in
// the meantime. Usage: drop_bench FOLDER COUNT
// The files FOLDER\f00000.txt ... are made first when missing (not timed).
#include <windows.h>
#include <shlobj.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "tests/support/drop_files.h"
#include "tests/support/modeless_dialog.h"
#include "ui/lodkin_dlg.h"
#include "ui/resource.h"

namespace {

WNDPROC g_listProc = nullptr;
std::vector<DWORD> g_paints;

LRESULT CALLBACK CountPaints(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_PAINT) g_paints.push_back(GetTickCount());
  return CallWindowProcA(g_listProc, window, message, wParam, lParam);
}

double Now() {
  LARGE_INTEGER frequency, now;
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&now);
  return 1000.0 * now.QuadPart / frequency.QuadPart;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    fprintf(stderr, "usage: drop_bench FOLDER COUNT\n");
    return 2;
  }
  const std::string folder = argv[1];
  const int count = atoi(argv[2]);
  CreateDirectoryA(folder.c_str(), nullptr);
  std::vector<std::string> paths;
  for (int i = 0; i < count; ++i) {
    char name[32];
    snprintf(name, sizeof(name), "\\f%05d.txt", i);
    paths.push_back(folder + name);
    if (GetFileAttributesA(paths.back().c_str()) == INVALID_FILE_ATTRIBUTES) {
      HANDLE file = CreateFileA(paths.back().c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
      if (file == INVALID_HANDLE_VALUE) return 1;
      CloseHandle(file);
    }
  }

  CLodkinDlg dialog;
  if (!CreateModelessDialog(dialog, IDD_PACKAGING_DIALOG)) return 1;
  HWND list = GetDlgItem(dialog.m_hWnd, IDC_FILE_LIST);
  MSG message;
  while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&message);
  g_listProc = reinterpret_cast<WNDPROC>(
      SetWindowLongPtrA(list, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&CountPaints)));

  HGLOBAL block = MakeDropBlock(paths);

  g_paints.clear();
  const DWORD startTick = GetTickCount();
  const double start = Now();
  SendMessageA(list, WM_DROPFILES, reinterpret_cast<WPARAM>(block), 0);
  const double elapsed = Now() - start;
  const DWORD endTick = GetTickCount();

  DWORD longestGap = 0;
  DWORD previous = startTick;
  for (DWORD paint : g_paints) {
    if (paint - previous > longestGap) longestGap = paint - previous;
    previous = paint;
  }
  if (endTick - previous > longestGap) longestGap = endTick - previous;
  const int rows = dialog.m_fileList.GetItemCount();
  printf("drop_ms %.1f\nper_file_us %.1f\nrows %d\npaints %u\nlongest_unpainted_ms %lu\n", elapsed,
         1000.0 * elapsed / count, rows, static_cast<unsigned>(g_paints.size()), longestGap);
  DestroyWindow(dialog.m_hWnd);
  return rows == count ? 0 : 1;
}
