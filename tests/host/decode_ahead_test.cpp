// The reader's decoding ahead: groups decoded on other threads hand out the same bytes,
// in the same order, with the same verdict on every member as one thread alone, whatever
// the threads and the memory, and a reader let go early waits for its threads.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "cli/posix_threads.h"
#include "core/name_field_records.h"
#include "core/package_reader.h"
#include "host/support/compressed_fixture.h"
#include "support/output_file.h"
#include "support/seeded_bytes.h"
#include "support/test_files.h"

namespace {

// Real threads, as many spare ones and as much memory as the case says, counted.
class CountedThreads : public WorkerThreads {
 public:
  CountedThreads(int spare, uint64_t memory) : spare_(spare), memory_(memory) {}
  int spareThreads() override { return spare_; }
  uint64_t spareMemory() override { return memory_; }
  void* Start(BackgroundWork& work) override {
    std::lock_guard<std::mutex> lock(mutex_);
    works_.push_back(std::unique_ptr<Counted>(new Counted(work, *this)));
    void* thread = threads_.Start(*works_.back());
    if (thread != nullptr) ++started_;
    return thread;
  }
  void Join(void* thread) override {
    threads_.Join(thread);
    ++joined_;
  }

  int started() const { return started_; }
  int joined() const { return joined_; }
  int mostAtOnce() const { return mostAtOnce_; }

 private:
  struct Counted : BackgroundWork {
    Counted(BackgroundWork& work, CountedThreads& owner) : work(work), owner(owner) {}
    void Run() override {
      const int now = ++owner.running_;
      int most = owner.mostAtOnce_;
      while (now > most && !owner.mostAtOnce_.compare_exchange_weak(most, now)) {
      }
      work.Run();
      --owner.running_;
    }
    BackgroundWork& work;
    CountedThreads& owner;
  };

  PosixThreads threads_;
  int spare_;
  uint64_t memory_;
  std::mutex mutex_;
  std::vector<std::unique_ptr<Counted>> works_;
  std::atomic<int> started_{0}, joined_{0}, running_{0}, mostAtOnce_{0};
};

struct MemberRead {
  MemberCopyResult result;
  std::vector<char> bytes;
  bool operator==(const MemberRead& other) const { return result == other.result && bytes == other.bytes; }
};

class DecodeAhead : public ::testing::Test {
 protected:
  // Eight groups of one file each (a share of 16 KiB), with a stored file and an empty
  // one among them.
  void SetUp() override {
    WriteFileBytes(root_.Join("Lodkin.exe"), PseudoRandomBytes(12000, 1));
    AddFile("setup.exe", CompressibleBytes(20000, 0));
    for (int i = 1; i < 7; ++i) AddFile("part" + std::to_string(i) + ".txt", CompressibleBytes(20000 + 3000 * i, i));
    AddFile("noise.cab", PseudoRandomBytes(70000, 8));
    AddFile("empty.txt", {});
    AddFile("last.txt", CompressibleBytes(17000, 9));
    const std::string path = root_.Join("pkg.exe");
    const PackResult result = PackCompressed(rows_, root_.Join("Lodkin.exe"), path, GroupRule{16 << 10, 16 << 10});
    ASSERT_EQ(result.outcome, kPackCompleted) << result.name;
    package_ = ReadFileBytes(path);
  }

  void AddFile(const std::string& name, const std::vector<char>& bytes) {
    WriteFileBytes(root_.Join(name), bytes);
    rows_.push_back(root_.Join(name));
    files_.push_back(bytes);
  }

  // Every member in order, as the run and extract ask for them, through `threads`.
  std::vector<MemberRead> ReadAll(const std::vector<char>& package, WorkerThreads* threads) {
    WriteFileBytes(root_.Join("read.exe"), package);
    PackageReader reader;
    reader.SetWorkerThreads(threads);
    EXPECT_TRUE(reader.Open(root_.Join("read.exe").c_str()));
    CopyBuffer buffer;
    std::vector<MemberRead> reads;
    for (int i = 0; i < reader.count(); ++i) {
      const std::string out = root_.Join("out.bin");
      MemberRead read;
      {
        BinaryFile file;
        EXPECT_TRUE(CreateOutputFile(file, out.c_str()));
        read.result = reader.CopyMember(i, file, buffer);
      }
      read.bytes = ReadFileBytes(out);
      reads.push_back(read);
    }
    return reads;
  }

  TempFolder root_;
  std::vector<std::string> rows_;
  std::vector<std::vector<char>> files_;
  std::vector<char> package_;
};

TEST_F(DecodeAhead, SameBytesAndVerdictsWhateverTheThreadsAndTheMemory) {
  std::vector<size_t> groupStreams;  // where each group's stream lies
  for (const PackageDirEntry& entry : DirectoryOf(package_)) {
    if (IsGroupEntry(entry)) groupStreams.push_back(entry.offset);
  }
  ASSERT_GE(groupStreams.size(), 7u);
  // Bytes changed in the stream of a group decoded ahead, of the group after it, and of
  // the last group: each shows where it would show without threads.
  struct Damage {
    const char* what;
    size_t at;  // 0: none
  };
  const std::vector<Damage> damages = {
      {"an intact package", 0},
      {"the second group's stream", groupStreams[1] + 40},
      {"the third group's stream", groupStreams[2] + 40},
      {"the last group's stream", groupStreams.back() + 40},
  };
  struct Threads {
    const char* what;
    int spare;
    uint64_t memory;
    bool decodesAhead;
  };
  // Out of what is spare, the reader keeps room for its own decoding (a 64 MiB dictionary,
  // the decoder's state, 8 MiB for its buffers); a group ahead here costs about 1 MiB.
  const uint64_t kCallerRoom = 73ull << 20, kOneGroup = kCallerRoom + (3 << 19);
  const std::vector<Threads> cases = {
      {"one spare thread", 1, 1ull << 30, true},
      {"more spare threads than groups", 15, 1ull << 30, true},
      {"memory for one group at a time", 3, kOneGroup, true},
      {"memory for the reader's own decoding only", 3, kCallerRoom, false},
      {"no memory to spare", 3, 0, false},
      {"no spare thread", 0, 1ull << 30, false},
  };
  for (const Damage& damage : damages) {
    std::vector<char> package = package_;
    if (damage.at != 0) package[damage.at] ^= 0x10;
    const std::vector<MemberRead> alone = ReadAll(package, nullptr);
    if (damage.at == 0) {
      ASSERT_EQ(alone.size(), files_.size());
      for (size_t i = 0; i < files_.size(); ++i) EXPECT_EQ(alone[i], (MemberRead{kMemberIntact, files_[i]})) << i;
    } else {
      EXPECT_NE(std::count_if(alone.begin(), alone.end(), [](const MemberRead& r) { return r.result != kMemberIntact; }),
                0)
          << damage.what;
    }
    for (const Threads& c : cases) {
      CountedThreads threads(c.spare, c.memory);
      EXPECT_EQ(ReadAll(package, &threads), alone) << damage.what << ", " << c.what;
      EXPECT_EQ(threads.started() > 0, c.decodesAhead) << damage.what << ", " << c.what;
      EXPECT_LE(threads.mostAtOnce(), c.memory == kOneGroup ? 1 : std::max(c.spare, 0)) << c.what;
      EXPECT_EQ(threads.joined(), threads.started()) << c.what;
    }
  }
}

TEST_F(DecodeAhead, AReaderLetGoEarlyStopsAndJoinsItsThreads) {
  CountedThreads threads(15, 1ull << 30);
  {
    PackageReader reader;
    reader.SetWorkerThreads(&threads);
    ASSERT_TRUE(reader.Open(root_.Join("pkg.exe").c_str()));
    CopyBuffer buffer;
    EXPECT_EQ(reader.CheckMember(0, buffer), kMemberIntact);
    EXPECT_GT(threads.started(), 0);
    // Opening again lets go of everything the first package started.
    ASSERT_TRUE(reader.Open(root_.Join("pkg.exe").c_str()));
    EXPECT_EQ(threads.joined(), threads.started());
    EXPECT_EQ(reader.CheckMember(0, buffer), kMemberIntact);
  }
  EXPECT_EQ(threads.joined(), threads.started());
}

}  // namespace
