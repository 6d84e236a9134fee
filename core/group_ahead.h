// One compressed group decoded whole on a thread of its own, while the reader's caller
// writes the members before it. Its stream is read from the package before the thread
// starts, so that the thread never touches the package's file (whose position the
// reader's other users share), and its original bytes are held until they are handed out.
#pragma once
#include <stdint.h>

#include "core/growable_block.h"
#include "core/lzma_group_decoder.h"
#include "core/worker_threads.h"

struct GroupAhead : BackgroundWork {
  GroupAhead() : group(-1), thread(nullptr), stop(0), status(kGroupDecodeOk), compressedSize(0), originalSize(0) {}
  // Decodes `stream` into `bytes`, then lets the stream go; `status` says how it ended.
  void Run() override;
  // Lets go of both blocks and frees the slot.
  void Release();

  int group;      // the group's entry in the directory; -1 while the slot is free
  void* thread;   // from its start until it is joined
  int stop;       // set to end the decoding early
  GroupDecodeStatus status;
  uint64_t compressedSize;
  uint64_t originalSize;
  GrowableBlock<uint8_t> stream;  // the group's bytes as they lie in the package
  GrowableBlock<char> bytes;      // its original bytes
};
