#include "host/support/compressed_fixture.h"

#include <string.h>

#include "cli/lzma_member_compressor.h"
#include "core/compressed_pack.h"
#include "core/name_field_records.h"
#include "core/pack_job.h"
#include "host/support/lzma_reference.h"
#include "support/seeded_bytes.h"
#include "support/test_pack_list.h"

namespace {

PackageTrailer TrailerOf(const std::vector<char>& package) {
  PackageTrailer trailer;
  memcpy(&trailer, &package[package.size() - sizeof(trailer)], sizeof(trailer));
  return trailer;
}

// The directory as it lies before the trailer, whatever it holds.
std::vector<PackageDirEntry> EntriesOnDisk(const std::vector<char>& package) {
  std::vector<PackageDirEntry> entries(TrailerOf(package).count);
  memcpy(entries.data(), &package[EntryPosition(package, 0)], entries.size() * sizeof(PackageDirEntry));
  return entries;
}

}  // namespace

std::vector<char> CompressibleBytes(size_t length, uint32_t seed) {
  std::vector<char> bytes = PseudoRandomBytes(length, seed);
  for (char& c : bytes) c = static_cast<char>('a' + (static_cast<unsigned char>(c) & 7));
  return bytes;
}

bool TableHolderOf(const std::vector<char>& package, PackageDirEntry* holder) {
  const std::vector<PackageDirEntry> entries = EntriesOnDisk(package);
  if (entries.size() != 1 || !IsTableEntry(entries[0])) return false;
  *holder = entries[0];
  return true;
}

std::vector<PackageDirEntry> DirectoryOf(const std::vector<char>& package) {
  PackageDirEntry holder;
  TableRecord record;
  if (!TableHolderOf(package, &holder)) return EntriesOnDisk(package);
  if (!ReadRecord(holder, &record)) return {};
  const std::vector<uint8_t> stream(&package[holder.offset], &package[holder.offset] + holder.size);
  std::vector<uint8_t> table;
  if (!ReferenceDecode(stream, record.entryCount * sizeof(PackageDirEntry), &table)) return {};
  std::vector<PackageDirEntry> entries(record.entryCount);
  memcpy(entries.data(), table.data(), table.size());
  return entries;
}

std::vector<char> WithDirectoryOnDisk(const std::vector<char>& package) {
  PackageDirEntry holder;
  if (!TableHolderOf(package, &holder)) return package;
  const std::vector<PackageDirEntry> entries = DirectoryOf(package);
  std::vector<char> out(package.begin(), package.begin() + holder.offset);
  const char* bytes = reinterpret_cast<const char*>(entries.data());
  out.insert(out.end(), bytes, bytes + entries.size() * sizeof(PackageDirEntry));
  PackageTrailer trailer = TrailerOf(package);
  trailer.count = static_cast<int32_t>(entries.size());
  out.insert(out.end(), reinterpret_cast<const char*>(&trailer), reinterpret_cast<const char*>(&trailer + 1));
  return out;
}

size_t EntryPosition(const std::vector<char>& package, size_t index) {
  PackageTrailer trailer;
  memcpy(&trailer, &package[package.size() - sizeof(trailer)], sizeof(trailer));
  return package.size() - sizeof(trailer) - trailer.count * sizeof(PackageDirEntry) + index * sizeof(PackageDirEntry);
}

PackResult PackCompressed(const std::vector<std::string>& paths, const std::string& stub,
                          const std::string& package, const GroupRule& rule, unsigned threads,
                          uint64_t memoryLimit) {
  LzmaMemberCompressor compressor(threads, rule, memoryLimit);
  CompressedPackWriter compressed(compressor);
  PackOptions options = DefaultPackOptions();
  options.packagePath = package.c_str();
  options.compressor = &compressed;
  PackResult result;
  PackFiles(TestList(paths), stub.c_str(), options, &result);
  return result;
}
