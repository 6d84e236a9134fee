// A set of texts, compared byte for byte (letter case counts), that answers in constant
// time: the packaging window's file list keeps its rows' texts in one for the duplicate
// test of a drop, so that a drop of thousands of files costs no more than their number.
#pragma once
#include <stddef.h>

#include "core/growable_block.h"

class TextSet {
 public:
  TextSet();
  TextSet(const TextSet&) = delete;
  TextSet& operator=(const TextSet&) = delete;

  // Room for `entries` texts without growing the table; any earlier texts are dropped.
  // 0 when there is no memory.
  int Reserve(unsigned entries);

  bool Contains(const char* text) const;

  // Adds a text that is not in the set yet. 0 when there is no memory (the set is then
  // no longer complete and must not be asked again).
  int Add(const char* text);

 private:
  struct Slot {
    unsigned hash;
    unsigned textOffset;  // one past the text's start in texts_; 0 for an empty slot
  };

  static unsigned Hash(const char* text);
  void Place(unsigned hash, unsigned textOffset);
  int Grow();

  GrowableBlock<Slot> slots_;
  unsigned slotCount_;  // a power of two, at least twice the entries
  unsigned used_;
  GrowableBlock<char> texts_;  // the entries' texts, each with its terminator
  size_t textBytes_;
};
