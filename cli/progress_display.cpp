#include "cli/progress_display.h"

#include <time.h>

#include "cli/console.h"

double ProgressDisplay::MonotonicSeconds() {
#ifdef _WIN32
  // MSVCRT's clock() counts wall time since the process started.
  return static_cast<double>(clock()) / CLOCKS_PER_SEC;
#else
  struct timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
#endif
}

ProgressDisplay::ProgressDisplay(const char* verb, uint64_t total, FILE* out, Clock clock)
    : verb_(verb), total_(total), done_(0), out_(out), clock_(clock), started_(clock()), shownAt_(0),
      shown_(0) {}

void ProgressDisplay::Observe(const char*, size_t length) {
  done_ += length;
  if (out_ == nullptr) return;
  const double now = clock_();
  if (now - started_ < kFirstAfterSeconds) return;
  if (shown_ && now - shownAt_ < kEverySeconds) return;
  shownAt_ = now;
  Show();
}

void ProgressDisplay::Show() {
  const uint64_t kMiB = 1024 * 1024;
  char done[32], total[32];
  // Counted down while running, so that "1,024 of 1,024" means done; a whole job is
  // counted as its total is, so that it never ends one short of it.
  FormatGrouped(done_ == total_ ? (done_ + kMiB - 1) / kMiB : done_ / kMiB, done);
  FormatGrouped((total_ + kMiB - 1) / kMiB, total);
  fprintf(out_, "\r%s %s MiB of %s MiB", verb_, done, total);
  fflush(out_);
  shown_ = 1;
}

void ProgressDisplay::Finish(int completed) {
  if (completed) total_ = done_;
  if (out_ == nullptr || !shown_) return;
  Show();
  fputc('\n', out_);
  fflush(out_);
}
