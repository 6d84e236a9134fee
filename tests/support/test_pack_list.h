// A file list for the Pack command made of plain strings, top row first.
#pragma once
#include <cstring>
#include <string>
#include <vector>

#include "core/pack_job.h"

class TestList : public PackFileList {
 public:
  explicit TestList(std::vector<std::string> rows) : rows_(rows) {}
  int GetCount() const override { return static_cast<int>(rows_.size()); }
  void GetRowText(int row, char (&text)[kCorePathSize]) const override {
    memset(text, 0, sizeof(text));
    strncpy(text, rows_[row].c_str(), sizeof(text) - 1);
  }

 private:
  std::vector<std::string> rows_;
};
