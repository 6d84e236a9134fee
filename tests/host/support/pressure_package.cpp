#include "host/support/pressure_package.h"

#include <memory>
#include <thread>

#include "core/binary_file.h"
#include "core/lzma_group_decoder.h"
#include "core/member_checksum.h"
#include "core/package_writer.h"
#include "host/support/lzma_reference.h"
#include "support/test_files.h"

namespace {

const uint64_t kMiB = 1u << 20;

// Text-like bytes: lines drawn from a fixed vocabulary of random lines. The encoder finds
// a match for nearly every line, up to the far end of the dictionary, so the decoder works
// through long distances and literals alike, and the encoder is fast at its lowest preset.
std::vector<uint8_t> LineBytes(uint64_t length, uint32_t seed) {
  uint64_t state = 0x9E3779B97F4A7C15ull * (seed + 1);
  auto next = [&state]() {
    state ^= state << 13, state ^= state >> 7, state ^= state << 17;
    return state;
  };
  std::vector<std::string> lines(8192);
  for (std::string& line : lines) {
    line.resize(8 + next() % 64);
    for (char& c : line) c = static_cast<char>(' ' + next() % 95);
    line += '\n';
  }
  std::vector<uint8_t> bytes;
  bytes.reserve(length + 80);
  while (bytes.size() < length) {
    const std::string& line = lines[next() % lines.size()];
    bytes.insert(bytes.end(), line.begin(), line.end());
  }
  bytes.resize(length);
  return bytes;
}

struct BigMember {
  PressureMember member;
  std::vector<uint8_t> stream;
};

void MakeBigMember(BigMember* big, uint32_t seed) {
  const std::vector<uint8_t> bytes = LineBytes(big->member.size, seed);
  big->member.checksum = ChecksumOf(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  GroupOptions options;
  options.preset = 0;
  options.dictionary = kMaxGroupDictionary;
  big->stream = EncodeGroup(bytes, options);
}

std::string Make(const std::string& bin, const std::string& path, std::vector<PressureMember>* members) {
  std::vector<BigMember> big(3);
  std::vector<std::thread> encoders;
  for (size_t k = 0; k < big.size(); ++k) {
    big[k].member = {"big" + std::to_string(k + 1) + ".dat", (200 + 16 * k) * kMiB, 0};
    encoders.emplace_back(MakeBigMember, &big[k], static_cast<uint32_t>(k));
  }
  for (std::thread& encoder : encoders) encoder.join();
  BinaryFile module, setup, package;
  const std::string setupPath = bin + "/stand_in_setup.exe";
  if (!module.OpenForReading((bin + "/Lodkin.exe").c_str()) || !setup.OpenForReading(setupPath.c_str()) ||
      !package.CreateNew(path.c_str())) {
    return "cannot open Lodkin.exe, stand_in_setup.exe or the package";
  }
  uint64_t setupSize = 0;
  setup.GetLength(&setupSize);
  members->push_back({"setup.exe", setupSize, ChecksumOf(ReadFileBytes(setupPath).data(), setupSize)});
  CopyBuffer buffer;
  PackageWriter writer(package, static_cast<uint32_t>(1 + 2 * big.size()), buffer);
  int ok = writer.AppendModuleImage(module) == kPackageWriteOk && writer.AppendMember(setup, "setup.exe") == kPackageWriteOk;
  for (const BigMember& b : big) {
    ok = ok && writer.AppendGroupStream(reinterpret_cast<const char*>(b.stream.data()), b.stream.size(), 1,
                                        b.member.size) == kPackageWriteOk &&
         writer.AppendCompressedMember(b.member.name.c_str(), static_cast<uint32_t>(b.member.size),
                                       b.member.checksum) == kPackageWriteOk;
    members->push_back(b.member);
  }
  ok = ok && writer.Finish() == kPackageWriteOk && package.Close();
  return ok ? "" : "the writer refused the package";
}

struct Shared {
  std::unique_ptr<TempFolder> folder;
  PressurePackage package;
};

}  // namespace

const PressurePackage& SharedPressurePackage(const std::string& bin) {
  static Shared shared;
  if (shared.folder == nullptr) {
    shared.folder.reset(new TempFolder());
    const std::string path = shared.folder->Join("pressed.exe");
    shared.package.error = Make(bin, path, &shared.package.members);
    if (shared.package.error.empty()) shared.package.path = path;
  }
  return shared.package;
}

std::string CompareWithMembers(const PressurePackage& package, const std::string& folder) {
  std::string differing;
  for (const PressureMember& member : package.members) {
    BinaryFile file;
    MemberChecksum checksum;
    uint64_t length = 0;
    std::vector<char> block(1 << 20);
    size_t got = 1;
    if (file.OpenForReading((folder + "/" + member.name).c_str())) {
      while (file.Read(block.data(), block.size(), &got) && got != 0) {
        checksum.Add(block.data(), got);
        length += got;
      }
    }
    if (length != member.size || checksum.Finish() != member.checksum) differing += member.name + " ";
  }
  return differing;
}
