#include "core/lzma_group_decoder.h"

#include <stdlib.h>
#include <string.h>

#include <new>

#include "core/lzma_decoder.h"

namespace {
const size_t kInputSize = 64 << 10;
const size_t kStagingSize = 64 << 10;
// The packer never writes a dictionary below this; smaller groups still get this much.
const uint32_t kMinDictionary = 4096;
// The only filter byte the packer writes: no filter. Converters measured on real
// installations cost more than they saved, so a reader carries none.
const uint8_t kFilterNone = 0;

// The decoder's whole state, in one allocation.
struct GroupDecodeState {
  BinaryFile* package;
  const uint8_t* memory;  // the group's bytes when they are held in memory, not read from `package`
  uint64_t inputPos;  // package offset of the next byte to read
  uint64_t inputEnd;  // package offset just after the group
  uint64_t originalSize;
  uint64_t decoded;   // bytes out of the LZMA decoder
  GroupDecodeStatus failure;
  bool ended;         // the stream has been checked to end after originalSize bytes
  bool inputAtEnd;    // the buffer holds the group's last byte (zero padding follows it)
  const uint8_t* next;
  const uint8_t* inputStop;  // end of the bytes read
  // Staged output: [0, taken) handed out, [taken, filled) ready. Staged in the buffer
  // below while decoding; a group decoded elsewhere is staged whole where it lies.
  uint8_t* staging;
  size_t taken, filled;
  LzmaDecoder lzma;
  uint8_t input[kInputSize + kLzmaMaxSymbolInput];
  uint8_t stagingBuffer[kStagingSize];
};

}  // namespace

struct GroupDecoder::State : GroupDecodeState {};

// Keeps the unread bytes and reads as many more of the group as fit.
static GroupDecodeStatus RefillInput(GroupDecodeState& s) {
  const size_t keep = static_cast<size_t>(s.inputStop - s.next);
  memmove(s.input, s.next, keep);
  const uint64_t left = s.inputEnd - s.inputPos;
  const size_t want = left < kInputSize - keep ? static_cast<size_t>(left) : kInputSize - keep;
  if (want != 0 && s.memory != nullptr) {
    memcpy(s.input + keep, s.memory + s.inputPos, want);
  } else if (want != 0 && !s.package->ReadAt(s.inputPos, s.input + keep, want)) {
    return kGroupDecodeReadFailed;
  }
  s.inputPos += want;
  s.next = s.input;
  s.inputStop = s.input + keep + want;
  s.inputAtEnd = s.inputPos == s.inputEnd;
  // A symbol that runs past the stream's end reads zeros here and is caught afterwards.
  if (s.inputAtEnd) memset(s.input + keep + want, 0, kLzmaMaxSymbolInput);
  return kGroupDecodeOk;
}

// Where the decoder must stop and ask for more: it may read kLzmaMaxSymbolInput beyond.
static const uint8_t* InputLimit(const GroupDecodeState& s) {
  return s.inputAtEnd ? s.inputStop : s.inputStop - kLzmaMaxSymbolInput;
}

// After the last original byte: an end marker may follow, then nothing at all.
static GroupDecodeStatus CheckEnd(GroupDecodeState& s) {
  const uint64_t left = static_cast<uint64_t>(s.inputStop - s.next) + (s.inputEnd - s.inputPos);
  if (left > kLzmaMaxSymbolInput) return kGroupDecodeDamaged;
  if (!s.inputAtEnd) {
    const GroupDecodeStatus status = RefillInput(s);
    if (status != kGroupDecodeOk) return status;
  }
  if (!s.lzma.FinishAt(s.next, static_cast<size_t>(left))) return kGroupDecodeDamaged;
  s.ended = true;
  return kGroupDecodeOk;
}

// Decodes into the free part of the staging buffer.
static GroupDecodeStatus DecodeMore(GroupDecodeState& s) {
  while (s.filled < kStagingSize && s.decoded < s.originalSize) {
    if (s.next > InputLimit(s)) {
      if (s.inputAtEnd) return kGroupDecodeDamaged;
      const GroupDecodeStatus status = RefillInput(s);
      if (status != kGroupDecodeOk) return status;
    }
    const uint64_t left = s.originalSize - s.decoded;
    const size_t room = kStagingSize - s.filled;
    const size_t want = left < room ? static_cast<size_t>(left) : room;
    size_t produced = 0;
    const uint8_t* before = s.next;
    if (s.lzma.Decode(s.next, InputLimit(s), s.staging + s.filled, want, &produced) != kLzmaDecodeOk)
      return kGroupDecodeDamaged;
    if (s.inputAtEnd && s.next > s.inputStop) return kGroupDecodeDamaged;
    if (produced == 0 && s.next == before && s.next <= InputLimit(s)) return kGroupDecodeDamaged;
    s.filled += produced;
    s.decoded += produced;
  }
  if (s.decoded == s.originalSize && !s.ended) return CheckEnd(s);
  return kGroupDecodeOk;
}

// Makes more bytes ready once all staged ones have been handed out.
static GroupDecodeStatus Stage(GroupDecodeState& s) {
  s.taken = s.filled = 0;
  return DecodeMore(s);
}

GroupDecoder::GroupDecoder() {}

GroupDecoder::~GroupDecoder() {}

static uint32_t DictionaryBytes(uint32_t declared, uint64_t originalSize) {
  // The stream may refer back as far as its declared size (rounded up to 16 bytes, as
  // the reference decoder allocates), but never before the group's first byte.
  uint64_t bytes = (static_cast<uint64_t>(declared) + 15) & ~static_cast<uint64_t>(15);
  if (bytes > originalSize) bytes = originalSize;
  return static_cast<uint32_t>(bytes < kMinDictionary ? kMinDictionary : bytes);
}

GroupDecodeStatus GroupDecoder::BeginAt(BinaryFile* package, const uint8_t* memory, uint64_t offset,
                                        uint64_t compressedSize, uint64_t originalSize) {
  decoded_.Free();
  if (!state_.Make()) return kGroupDecodeNoMemory;
  State& s = *state_;
  s.package = package;
  s.memory = memory;
  s.inputPos = s.inputEnd = offset;
  s.originalSize = originalSize;
  s.decoded = 0;
  s.ended = false;
  s.inputAtEnd = false;
  s.next = s.inputStop = s.input;
  s.staging = s.stagingBuffer;
  s.taken = s.filled = 0;
  s.failure = kGroupDecodeDamaged;
  if (compressedSize < kGroupStreamHeaderSize + 5 || offset > UINT64_MAX - compressedSize) return s.failure;
  s.inputEnd = offset + compressedSize;
  s.failure = RefillInput(s);
  if (s.failure != kGroupDecodeOk) return s.failure;
  const uint8_t* header = s.next;
  const uint32_t dictionary = static_cast<uint32_t>(header[2]) | static_cast<uint32_t>(header[3]) << 8 |
                              static_cast<uint32_t>(header[4]) << 16 | static_cast<uint32_t>(header[5]) << 24;
  s.failure = kGroupDecodeDamaged;
  if (header[0] != kFilterNone) return s.failure;
  if (dictionary > kMaxGroupDictionary) return s.failure;
  int noMemory = 0;
  if (!s.lzma.Start(header[1], DictionaryBytes(dictionary, originalSize), &noMemory)) {
    s.failure = noMemory ? kGroupDecodeNoMemory : kGroupDecodeDamaged;
    return s.failure;
  }
  if (!s.lzma.StartInput(header + kGroupStreamHeaderSize)) return s.failure;
  s.next = header + kGroupStreamHeaderSize + 5;
  s.failure = kGroupDecodeOk;
  return s.failure;
}

GroupDecodeStatus GroupDecoder::Begin(GrowableBlock<char>& decoded, size_t size) {
  decoded_.Swap(decoded);
  if (!state_.Make()) return kGroupDecodeNoMemory;
  State& s = *state_;
  s.staging = reinterpret_cast<uint8_t*>(decoded_.get());
  s.taken = 0;
  s.filled = size;
  s.decoded = s.originalSize = size;
  s.ended = true;
  s.failure = kGroupDecodeOk;
  return kGroupDecodeOk;
}

GroupDecodeStatus GroupDecoder::Read(char* out, size_t capacity, size_t* produced) {
  *produced = 0;
  if (state_.get() == nullptr) return kGroupDecodeDamaged;
  State& s = *state_;
  if (s.failure != kGroupDecodeOk) return s.failure;
  while (*produced < capacity) {
    if (s.taken < s.filled) {
      const size_t left = capacity - *produced;
      const size_t count = s.filled - s.taken < left ? s.filled - s.taken : left;
      memcpy(out + *produced, s.staging + s.taken, count);
      s.taken += count;
      *produced += count;
      continue;
    }
    if (s.ended) break;
    s.failure = Stage(s);
    if (s.failure != kGroupDecodeOk) {
      *produced = 0;
      return s.failure;
    }
  }
  return kGroupDecodeOk;
}

GroupDecodeStatus GroupDecoder::ReadAll(char* out, size_t size, const int* stop) {
  const size_t kStep = 1 << 20;
  size_t done = 0, got = 1;
  GroupDecodeStatus status = kGroupDecodeOk;
  while (status == kGroupDecodeOk && done < size && got != 0) {
    if (stop != nullptr && __atomic_load_n(stop, __ATOMIC_RELAXED)) return kGroupDecodeDamaged;
    status = Read(out + done, size - done < kStep ? size - done : kStep, &got);
    done += got;
  }
  // The decoder checks that the stream ends with the last byte.
  char beyond = 0;
  if (status == kGroupDecodeOk && done == size) status = Read(&beyond, 1, &got);
  if (status == kGroupDecodeOk && (done != size || got != 0)) status = kGroupDecodeDamaged;
  return status;
}
