#include "cli/lzma_member_compressor.h"

#include "cli/machine_resources.h"

namespace {

CompressSettings ToolSettings(unsigned threads, const GroupRule& rule, uint64_t memoryLimit) {
  CompressSettings settings = kToolCompressSettings;
  settings.threads = threads;
  settings.rule = rule;
  settings.memoryLimit = memoryLimit;
  settings.physicalMemory = PhysicalMemory();
  return settings;
}

}  // namespace

LzmaMemberCompressor::LzmaMemberCompressor(unsigned threads, const GroupRule& rule, uint64_t memoryLimit,
                                           ToolEncoder encoder)
    : GroupCompressor(encoder == kToolEncoderFast ? static_cast<GroupCodec&>(fast) : static_cast<GroupCodec&>(lzma),
                      &posixThreads, ToolSettings(threads, rule, memoryLimit)) {}
