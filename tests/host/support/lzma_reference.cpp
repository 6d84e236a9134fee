#include "host/support/lzma_reference.h"

#include <lzma.h>
#include <stdio.h>
#include <string.h>

#include <algorithm>
#include <stdexcept>

#include "support/seeded_bytes.h"

std::vector<uint8_t> EncodeGroup(const std::vector<uint8_t>& original, const GroupOptions& options) {
  lzma_options_lzma lzma;
  memset(&lzma, 0, sizeof lzma);
  if (lzma_lzma_preset(&lzma, options.preset)) throw std::runtime_error("bad preset");
  // liblzma encodes with at least 4 KiB; a smaller declared size still reads that way.
  lzma.dict_size = options.dictionary < LZMA_DICT_SIZE_MIN ? LZMA_DICT_SIZE_MIN : options.dictionary;
  lzma.lc = options.lc, lzma.lp = options.lp, lzma.pb = options.pb;
  lzma_filter filters[3];
  int count = 0;
  if (options.x86) filters[count++] = {LZMA_FILTER_X86, nullptr};
  filters[count++] = {options.endMarker ? LZMA_FILTER_LZMA1 : LZMA_FILTER_LZMA1EXT, &lzma};
  filters[count] = {LZMA_VLI_UNKNOWN, nullptr};
  std::vector<uint8_t> group(kGroupStreamHeaderSize + original.size() + original.size() / 8 + 256);
  size_t written = kGroupStreamHeaderSize;
  const lzma_ret ret = lzma_raw_buffer_encode(filters, nullptr, original.data(), original.size(), group.data(),
                                              &written, group.size());
  if (ret != LZMA_OK) throw std::runtime_error("liblzma refused to encode: " + std::to_string(ret));
  group.resize(written);
  group[0] = options.x86 ? 1 : 0;
  group[1] = static_cast<uint8_t>((options.pb * 5 + options.lp) * 9 + options.lc);
  memcpy(&group[2], &options.dictionary, 4);  // little-endian host
  return group;
}

bool ReferenceDecode(const std::vector<uint8_t>& group, uint64_t originalSize, std::vector<uint8_t>* out) {
  out->clear();
  if (group.size() < kGroupStreamHeaderSize || group[0] > 1) return false;
  lzma_options_lzma lzma;
  memset(&lzma, 0, sizeof lzma);
  if (group[1] >= 9 * 5 * 5) return false;
  lzma.lc = group[1] % 9, lzma.lp = group[1] / 9 % 5, lzma.pb = group[1] / 45;
  memcpy(&lzma.dict_size, &group[2], 4);
  lzma.ext_flags = LZMA_LZMA1EXT_ALLOW_EOPM;
  lzma.ext_size_low = static_cast<uint32_t>(originalSize);
  lzma.ext_size_high = static_cast<uint32_t>(originalSize >> 32);
  lzma_filter filters[3];
  int count = 0;
  if (group[0] == 1) filters[count++] = {LZMA_FILTER_X86, nullptr};
  filters[count++] = {LZMA_FILTER_LZMA1EXT, &lzma};
  filters[count] = {LZMA_VLI_UNKNOWN, nullptr};
  lzma_stream stream = LZMA_STREAM_INIT;
  if (lzma_raw_decoder(&stream, filters) != LZMA_OK) return false;
  out->resize(originalSize + 1);  // room for one byte too many, which would be refused
  stream.next_in = group.data() + kGroupStreamHeaderSize;
  stream.avail_in = group.size() - kGroupStreamHeaderSize;
  stream.next_out = out->data();
  stream.avail_out = out->size();
  lzma_ret ret = LZMA_OK;
  while (ret == LZMA_OK && stream.avail_out != 0) {
    const uint64_t before = stream.total_in + stream.total_out;
    ret = lzma_code(&stream, LZMA_FINISH);
    if (ret == LZMA_OK && stream.total_in + stream.total_out == before) break;
  }
  const bool whole = ret == LZMA_STREAM_END && stream.avail_in == 0 && stream.total_out == originalSize;
  out->resize(stream.total_out);
  lzma_end(&stream);
  return whole;
}

static void WriteFile(const std::string& path, const std::vector<std::vector<uint8_t>>& parts) {
  FILE* file = fopen(path.c_str(), "wb");
  if (file == nullptr) throw std::runtime_error("cannot write " + path);
  for (const std::vector<uint8_t>& part : parts) {
    if (!part.empty()) fwrite(part.data(), 1, part.size(), file);
  }
  if (fclose(file) != 0) throw std::runtime_error("cannot close " + path);
}

DecodeOutcome DecodeGroupInFile(const std::string& path, const std::vector<uint8_t>& group, uint64_t originalSize,
                                size_t chunk, size_t before, const std::vector<uint8_t>& after) {
  // The bytes before the group look like a stream too, so that reading them would show.
  std::vector<uint8_t> lead(before, 0x5D);
  WriteFile(path, {lead, group, after});
  BinaryFile file;
  if (!file.OpenForReading(path.c_str())) throw std::runtime_error("cannot open " + path);
  DecodeOutcome outcome;
  GroupDecoder decoder;
  outcome.status = decoder.Begin(file, before, group.size(), originalSize);
  std::vector<char> buffer(chunk);
  while (outcome.status == kGroupDecodeOk && outcome.handedOut <= originalSize) {
    size_t produced = 12345;
    outcome.status = decoder.Read(buffer.data(), chunk, &produced);
    if (outcome.status != kGroupDecodeOk) break;
    if (produced > chunk) throw std::runtime_error("Read claimed more than its capacity");
    if (produced == 0) break;
    outcome.handedOut += produced;
    outcome.bytes.insert(outcome.bytes.end(), buffer.begin(), buffer.begin() + produced);
  }
  return outcome;
}

std::vector<uint8_t> NoiseBytes(size_t length, uint32_t seed) {
  const std::vector<char> bytes = PseudoRandomBytes(length, seed);
  return std::vector<uint8_t>(bytes.begin(), bytes.end());
}

std::vector<uint8_t> TextBytes(size_t length, uint32_t seed) {
  static const char* const kWords[] = {"package ", "member ", "the ", "of ", "installation ", "group\n",
                                       "dictionary ", "a ", "file ", "stream ", "Lodkin ", "1392 "};
  const std::vector<uint8_t> noise = NoiseBytes(length, seed);
  std::vector<uint8_t> text;
  for (size_t i = 0; text.size() < length; ++i) {
    const char* word = kWords[noise[i % length] % (sizeof kWords / sizeof kWords[0])];
    text.insert(text.end(), word, word + strlen(word));
  }
  text.resize(length);
  return text;
}

std::vector<uint8_t> X86CodeBytes(size_t length) {
  // Machine code with its calls and jumps, from whichever of Wine's builds is installed (a
  // machine without 32-bit support may have only the 64-bit one).
  const char* const kSamples[] = {"/usr/lib/i386-linux-gnu/wine/i386-windows/kernelbase.dll",
                                  "/usr/lib/x86_64-linux-gnu/wine/x86_64-windows/kernelbase.dll"};
  const char* path = kSamples[0];
  FILE* file = nullptr;
  for (const char* sample : kSamples) {
    path = sample;
    if ((file = fopen(path, "rb")) != nullptr) break;
  }
  if (file == nullptr) throw std::runtime_error(std::string("missing x86 code sample ") + path);
  std::vector<uint8_t> bytes(length);
  fseek(file, 0x1000, SEEK_SET);  // past the headers, into the code section
  const size_t got = fread(bytes.data(), 1, length, file);
  fclose(file);
  if (got != length) throw std::runtime_error(std::string("short x86 code sample ") + path);
  return bytes;
}

std::vector<uint8_t> RunBytes(size_t length) { return std::vector<uint8_t>(length, 0x90); }

std::vector<SampleGroup> SampleGroups() {
  const std::vector<uint8_t> payloads[] = {TextBytes(6000, 1), X86CodeBytes(9000), NoiseBytes(700, 2),
                                           RunBytes(3000),     {},                 {0x41}};
  const unsigned settings[][3] = {{3, 0, 2}, {0, 4, 4}, {4, 0, 0}, {1, 2, 1}};
  std::vector<SampleGroup> samples;
  unsigned variant = 0;
  for (const std::vector<uint8_t>& payload : payloads) {
    for (const auto& setting : settings) {
      GroupOptions options;
      options.endMarker = variant % 2 == 0;
      options.dictionary = variant % 4 == 1 ? 4096 : 1u << 16;
      options.lc = setting[0], options.lp = setting[1], options.pb = setting[2];
      samples.push_back({payload, EncodeGroup(payload, options)});
      ++variant;
    }
  }
  return samples;
}

DamagedGroup Damage(const SampleGroup& sample, uint32_t seed) {
  const std::vector<uint8_t> noise = NoiseBytes(16, seed);
  DamagedGroup damaged{sample.group, sample.original.size()};
  std::vector<uint8_t>& g = damaged.group;
  const uint32_t pick = noise[0] | noise[1] << 8 | noise[2] << 16;
  const size_t at = pick % g.size();
  const uint8_t value = noise[3];
  switch (noise[4] % 9) {
    case 0: g[at] ^= static_cast<uint8_t>(1u << (value & 7)); break;
    case 1: g[at] = value; break;
    case 2: g.insert(g.begin() + at, value); break;
    case 3: g.erase(g.begin() + at); break;
    case 4: g.resize(at); break;
    case 5: g.insert(g.end(), 1 + value % 8, value); break;
    case 6: g[pick % std::min<size_t>(g.size(), kGroupStreamHeaderSize)] = value; break;
    case 7: damaged.originalSize += static_cast<int>(value % 9) - 4; break;
    default:  // several bytes at once
      for (int i = 5; i + 1 < 16; i += 2) g[(pick + noise[i] * 131u) % g.size()] ^= noise[i + 1];
      break;
  }
  if (damaged.originalSize > (1u << 20)) damaged.originalSize = 0;  // an empty group made shorter
  return damaged;
}

DamageVerdict JudgeDamagedGroup(const std::string& path, const DamagedGroup& damaged, size_t chunk) {
  DamageVerdict verdict;
  const DecodeOutcome outcome = DecodeGroupInFile(path, damaged.group, damaged.originalSize, chunk);
  verdict.decoderAccepted = outcome.status == kGroupDecodeOk;
  if (outcome.handedOut > damaged.originalSize) verdict.fault = "handed out more than the original size";
  if (outcome.status == kGroupDecodeReadFailed) verdict.fault = "read past the group's bytes";
  if (verdict.decoderAccepted && (damaged.group.empty() || damaged.group[0] != 0))
    verdict.fault = "accepted a filter byte other than 0";
  if (!verdict.fault.empty() || !verdict.decoderAccepted) return verdict;
  std::vector<uint8_t> reference;
  verdict.referenceAccepted = ReferenceDecode(damaged.group, damaged.originalSize, &reference);
  if (!verdict.referenceAccepted)
    verdict.fault = "accepted a group that liblzma refuses";
  else if (outcome.bytes != reference)
    verdict.fault = "bytes differ from liblzma's";
  return verdict;
}
