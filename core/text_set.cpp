#include "core/text_set.h"

#include <string.h>

TextSet::TextSet() : slotCount_(0), used_(0), textBytes_(0) {}

int TextSet::Reserve(unsigned entries) {
  unsigned count = 64;
  while (count < 2 * entries + 2) count *= 2;
  used_ = 0;
  textBytes_ = 0;
  slotCount_ = 0;
  if (!slots_.Allocate(count)) return 0;
  slotCount_ = count;
  return 1;
}

bool TextSet::Contains(const char* text) const {
  if (slotCount_ == 0) return false;
  const unsigned hash = Hash(text);
  for (unsigned i = hash & (slotCount_ - 1);; i = (i + 1) & (slotCount_ - 1)) {
    const Slot& slot = slots_[i];
    if (slot.textOffset == 0) return false;
    if (slot.hash == hash && strcmp(texts_.get() + slot.textOffset - 1, text) == 0) return true;
  }
}

int TextSet::Add(const char* text) {
  if (2 * (used_ + 1) > slotCount_ && !Grow()) return 0;
  const size_t length = strlen(text) + 1;
  if (!texts_.Reserve(textBytes_ + length, 16384)) return 0;
  memcpy(texts_.get() + textBytes_, text, length);
  Place(Hash(text), static_cast<unsigned>(textBytes_ + 1));
  textBytes_ += length;
  ++used_;
  return 1;
}

unsigned TextSet::Hash(const char* text) {
  unsigned hash = 2166136261u;
  for (; *text != 0; ++text) hash = (hash ^ static_cast<unsigned char>(*text)) * 16777619u;
  return hash;
}

void TextSet::Place(unsigned hash, unsigned textOffset) {
  unsigned i = hash & (slotCount_ - 1);
  while (slots_[i].textOffset != 0) i = (i + 1) & (slotCount_ - 1);
  slots_[i].hash = hash;
  slots_[i].textOffset = textOffset;
}

// A table twice the size, every entry placed anew.
int TextSet::Grow() {
  const unsigned count = slotCount_ > 0 ? 2 * slotCount_ : 64;
  GrowableBlock<Slot> old;
  if (!old.Allocate(count)) return 0;
  slots_.Swap(old);
  const unsigned oldCount = slotCount_;
  slotCount_ = count;
  for (unsigned i = 0; i < oldCount; ++i) {
    if (old[i].textOffset != 0) Place(old[i].hash, old[i].textOffset);
  }
  return 1;
}
