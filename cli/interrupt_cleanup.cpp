#include "cli/interrupt_cleanup.h"

#include <signal.h>
#include <string.h>

#ifdef _WIN32
#include <io.h>

#include "win32/unique_resource.h"
#else
#include <unistd.h>
#endif

namespace {

// What a handler may read: written whole before `recorded` is set, and not touched
// while it is set. Handlers only read these and call functions that are safe there.
char recordedPath[kCorePathSize];
int recordedDescriptor = -1;
volatile sig_atomic_t recorded = 0;

#ifdef _WIN32
UniqueHandle mainThread;

// Runs on a thread of its own. The file is open with no sharing for deletion, so its
// handle is closed first; the main thread is held still so that it reports nothing in
// between. The process then ends as the default handler ends it on Windows, with
// STATUS_CONTROL_C_EXIT, and without the clean-up of a normal exit, which could wait on
// a lock that the held thread owns. A closed console ends the process itself.
BOOL WINAPI OnConsoleBreak(DWORD event) {
  if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT && event != CTRL_CLOSE_EVENT) return FALSE;
  if (recorded) {
    if (mainThread.valid()) SuspendThread(mainThread.get());
    // The runtime's descriptor owns this handle; it is closed here, from outside, because
    // the process ends before the descriptor could be.
    const HANDLE file = reinterpret_cast<HANDLE>(_get_osfhandle(recordedDescriptor));
    if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
    DeleteFileA(recordedPath);
  }
  if (event != CTRL_CLOSE_EVENT) TerminateProcess(GetCurrentProcess(), STATUS_CONTROL_C_EXIT);
  return FALSE;
}
#else
const int kSignals[] = {SIGINT, SIGTERM, SIGHUP};
struct sigaction earlier[sizeof(kSignals) / sizeof(kSignals[0])];
int installed[sizeof(kSignals) / sizeof(kSignals[0])];

void OnSignal(int number) {
  if (recorded) unlink(recordedPath);
  // The default action, delivered once this handler returns: the exit status still
  // tells the signal.
  signal(number, SIG_DFL);
  raise(number);
}

void SetBlocked(int how) {
  sigset_t set;
  sigemptyset(&set);
  for (int number : kSignals) sigaddset(&set, number);
  sigprocmask(how, &set, nullptr);
}
#endif

}  // namespace

InterruptCleanup::InterruptCleanup() {
#ifdef _WIN32
  DuplicateHandle(GetCurrentProcess(), GetCurrentThread(), GetCurrentProcess(), mainThread.put(),
                  THREAD_SUSPEND_RESUME, FALSE, 0);
  SetConsoleCtrlHandler(OnConsoleBreak, TRUE);
#else
  for (unsigned i = 0; i < sizeof(kSignals) / sizeof(kSignals[0]); ++i) {
    installed[i] = 0;
    // A signal that the caller ignores (nohup, a background job) stays ignored.
    if (sigaction(kSignals[i], nullptr, &earlier[i]) != 0 || earlier[i].sa_handler == SIG_IGN) continue;
    struct sigaction action;
    memset(&action, 0, sizeof(action));
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    for (int number : kSignals) sigaddset(&action.sa_mask, number);
    installed[i] = sigaction(kSignals[i], &action, nullptr) == 0;
  }
#endif
}

InterruptCleanup::~InterruptCleanup() {
  recorded = 0;
#ifdef _WIN32
  SetConsoleCtrlHandler(OnConsoleBreak, FALSE);
  mainThread.reset();
#else
  for (unsigned i = 0; i < sizeof(kSignals) / sizeof(kSignals[0]); ++i) {
    if (installed[i]) sigaction(kSignals[i], &earlier[i], nullptr);
  }
#endif
}

// From just before the file is made until it is recorded, an interruption waits: the
// file exists in that moment, but its name is not yet known to the handler.
void InterruptCleanup::Creating() {
#ifndef _WIN32
  SetBlocked(SIG_BLOCK);
#endif
}

void InterruptCleanup::Created(const char* path, const BinaryFile* file) {
  if (path != nullptr && strlen(path) < sizeof(recordedPath)) {
    strcpy(recordedPath, path);
    recordedDescriptor = file->descriptor();
    recorded = 1;
  }
#ifndef _WIN32
  SetBlocked(SIG_UNBLOCK);
#endif
}

void InterruptCleanup::Released() { recorded = 0; }
