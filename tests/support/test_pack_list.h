// A file list for the Pack command made of plain strings, top row first, and the
// list files of the test and benchmark programs. Header-only, so that the benchmark
// programs share it without the test library.
#pragma once
#include <cstdio>
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

// The rows of a list file: one full path a line, top entry first; empty lines and line
// ends are dropped. No rows when the file cannot be read.
inline std::vector<std::string> ReadListFile(const char* listPath) {
  std::vector<std::string> rows;
  FILE* file = fopen(listPath, "r");
  if (file == nullptr) return rows;
  char line[1024];
  while (fgets(line, sizeof(line), file) != nullptr) {
    line[strcspn(line, "\r\n")] = 0;
    if (line[0] != 0) rows.push_back(line);
  }
  fclose(file);
  return rows;
}
