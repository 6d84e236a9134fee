// The texts of the file list's rows, byte for byte, for the duplicate test of one drop:
// a set of texts that answers in constant time, so that a drop of thousands of files
// costs no more than their number. Letter case counts, as it does in the list.
#pragma once
#include <stddef.h>

#include "core/growable_block.h"

class EntryIndex {
 public:
  EntryIndex();
  EntryIndex(const EntryIndex&) = delete;
  EntryIndex& operator=(const EntryIndex&) = delete;

  // Room for `entries` texts without growing the table; any earlier texts are dropped.
  // 0 when there is no memory.
  int Reserve(unsigned entries);

  bool Contains(const char* text) const;

  // Adds a text that is not in the index yet. 0 when there is no memory (the index is
  // then no longer complete and must not be asked again).
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
