// Closes, from a thread of the test, what a run of the real program may show: the
// "error" box of a run that found no setup program (its text is kept) and the
// packaging window that opens after it or after a run of a file that is no package.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

#include "support/test_process.h"

struct WindowCloser {
  volatile LONG stop = 0;
  std::vector<std::string> boxTexts;
  HANDLE thread = nullptr;

  static DWORD WINAPI Loop(void* self) {
    WindowCloser* closer = static_cast<WindowCloser*>(self);
    while (!closer->stop) {
      if (HWND box = FindWindowA("#32770", "error")) {
        char text[1024] = {};
        GetDlgItemTextA(box, 0xFFFF, text, sizeof(text));
        closer->boxTexts.push_back(text);
        SendMessageA(box, WM_COMMAND, IDOK, 0);
      }
      if (HWND window = FindWindowA(nullptr, "Lodkin")) {
        PostMessageA(window, WM_SYSCOMMAND, SC_CLOSE, 0);
      }
      Sleep(50);
    }
    return 0;
  }
  void Start() { thread = CreateThread(nullptr, 0, Loop, this, 0, nullptr); }
  void Finish() {
    InterlockedExchange(&stop, 1);
    WaitForSingleObject(thread, 5000);
    CloseHandle(thread);
  }
};

// Runs the program (as RunProgram does) with the packaging window and any "error" box
// closed; the box texts come back in *boxes when the caller asks for them.
inline ProcessResult RunClosingWindows(const std::string& program, const std::string& arguments, unsigned timeoutMs,
                                       const std::string& directory, std::vector<std::string>* boxes = nullptr) {
  WindowCloser closer;
  closer.Start();
  ProcessResult result = RunProgram(program, arguments, timeoutMs, directory);
  closer.Finish();
  if (boxes != nullptr) *boxes = closer.boxTexts;
  return result;
}
