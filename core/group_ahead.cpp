#include "core/group_ahead.h"

void GroupAhead::Run() {
  GroupDecoder decoder;
  status = decoder.Begin(stream.get(), compressedSize, originalSize);
  if (status == kGroupDecodeOk) status = decoder.ReadAll(bytes.get(), static_cast<size_t>(originalSize), &stop);
  stream.Free();
}

void GroupAhead::Release() {
  stream.Free();
  bytes.Free();
  group = -1;
}
