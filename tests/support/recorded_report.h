// The Pack command's reports kept for a test to look at: the status line and the boxes,
// each as it was shown and all in order. Header-only, so that the benchmark programs
// share it without the test library.
#pragma once
#include <string>
#include <vector>

#include "ui/pack_command.h"

class RecordedReport : public PackReport {
 public:
  void SetStatusText(const char* text) override {
    status = text;
    events.push_back("status:" + status);
  }
  void ShowMessage(const char* text, const char* caption) override {
    box = std::string(caption) + ":" + text;
    events.push_back("box:" + box);
  }

  std::string status;               // the last status-line text
  std::string box;                  // the last box, "caption:text"
  std::vector<std::string> events;  // "status:TEXT" and "box:CAPTION:TEXT", in order
};
