// Removes the temporary package when a pack is interrupted from outside: SIGINT, SIGTERM
// or SIGHUP on the host (Ctrl-C in a pipeline, a CI timeout, a closed terminal), Ctrl-C,
// Ctrl-Break or a closed console window on Windows. The process then ends as the
// interruption would have ended it, so that the caller still sees which one it was.
#pragma once
#include "core/temporary_package.h"

class InterruptCleanup : public TemporaryFileWatch {
 public:
  // Installs the handlers; the destructor puts the earlier ones back.
  InterruptCleanup();
  ~InterruptCleanup();
  InterruptCleanup(const InterruptCleanup&) = delete;
  InterruptCleanup& operator=(const InterruptCleanup&) = delete;

  void Creating() override;
  void Created(const char* path, const BinaryFile* file) override;
  void Released() override;
};
