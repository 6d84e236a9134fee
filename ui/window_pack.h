// The window's Pack with "Compress" checked: the pack that `lodkin-cli pack --compress=fast
// --codepage N` makes from the same rows, on a thread of its own so that the window keeps
// answering, its encoders on the system's threads (both processors where there are two
// groups or more) within 512 MiB. The window shows its progress and, when the thread has
// posted its message, the outcome.
#pragma once
#include <windows.h>

#include "core/compressed_pack.h"
#include "core/fast_codec.h"
#include "core/group_compressor.h"
#include "core/pack_job.h"
#include "core/worker_threads.h"
#include "ui/windows_folder_walker.h"
#include "win32/system_threads.h"

typedef SystemThreadsFor<WorkerThreads, BackgroundWork> WindowThreads;

// The window's own: two encoders of the largest groups and their streams ahead fit.
const uint64_t kWindowPackMemory = 512u << 20;
const size_t kWindowAheadLimit = 16u << 20;

// The list's rows as they were when Pack was clicked: the pack reads them on its thread.
class RowCopies : public PackFileList {
 public:
  RowCopies() : count_(0) {}
  int Copy(const PackFileList& rows);
  int GetCount() const override { return count_; }
  void GetRowText(int row, char (&text)[kCorePathSize]) const override;

 private:
  GrowableBlock<char[kCorePathSize]> rows_;
  int count_;
};

class WindowPack : public BackgroundWork {
 public:
  WindowPack();
  // Copies the rows and starts the pack; `message` is posted to `window` when it ends.
  // 0 when no thread could be had (nothing was started).
  int Start(const PackFileList& rows, HWND window, UINT message);
  void Run() override;
  // Asks the pack to stop soon: it then fails, and its temporary package is deleted.
  void Stop() { compressor_.Stop(); }
  // Waits until the thread has ended.
  void Wait();
  // Of the bytes to compress, the share read so far (0 to 100).
  unsigned percent() const;
  const PackResult& result() const { return result_; }

 private:
  RowCopies rows_;
  char modulePath_[kCorePathSize];
  HWND window_;
  UINT message_;
  FastCodec codec_;
  WindowThreads threads_;
  GroupCompressor compressor_;
  CompressedPackWriter steps_;
  WindowsFolderWalker walker_;
  PackResult result_;
  void* thread_;
};
