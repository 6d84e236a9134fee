// "packed 123 MiB of 1,024 MiB" on a terminal, rewritten in place, for copies that take
// more than a moment; a short job shows nothing.
#pragma once
#include <stdint.h>
#include <stdio.h>

#include "core/pack_job.h"

class ProgressDisplay : public PackObserver {
 public:
  // Seconds from any fixed start; tests pass a clock of their own.
  typedef double (*Clock)();
  static double MonotonicSeconds();

  // `out` null: the display stays silent (stderr is not a terminal).
  ProgressDisplay(const char* verb, uint64_t total, FILE* out, Clock clock = MonotonicSeconds);
  void Observe(const char* bytes, size_t length) override;
  // A pack learns its total only once its folders are walked.
  void Expect(uint64_t total) override { total_ = total; }
  // Ends the line when anything was shown. A completed job ends at what it really
  // moved, which can differ from the total foreseen (a signature left out).
  void Finish(int completed);

  // Nothing is shown before the job has run this long, nor more often than this.
  static constexpr double kFirstAfterSeconds = 0.5;
  static constexpr double kEverySeconds = 0.2;

 private:
  void Show();

  const char* verb_;
  uint64_t total_;
  uint64_t done_;
  FILE* out_;
  Clock clock_;
  double started_;
  double shownAt_;
  int shown_;
};
