// Deletion at restart: the one update of the pending-operations value against the
// system's own MoveFileEx calls, in the prefix's real registry, and the value built on
// plain data.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "package/reboot_deletion.h"
#include "support/directory_deletions.h"
#include "support/host_system.h"
#include "support/test_files.h"

namespace {

struct RegistryValue {
  bool present = false;
  DWORD type = 0;
  std::vector<BYTE> bytes;
  bool operator==(const RegistryValue& other) const {
    return present == other.present && type == other.type && bytes == other.bytes;
  }
};

HKEY OpenSessionManager() {
  HKEY key = nullptr;
  EXPECT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSessionManagerKey, 0, KEY_QUERY_VALUE | KEY_SET_VALUE, &key),
            ERROR_SUCCESS);
  return key;
}

RegistryValue ReadPendingValue() {
  RegistryValue value;
  HKEY key = OpenSessionManager();
  DWORD bytes = 0;
  if (RegQueryValueExW(key, kPendingOperationsValue, nullptr, &value.type, nullptr, &bytes) == ERROR_SUCCESS) {
    value.present = true;
    value.bytes.resize(bytes);
    EXPECT_EQ(RegQueryValueExW(key, kPendingOperationsValue, nullptr, &value.type, value.bytes.data(), &bytes),
              ERROR_SUCCESS);
    value.bytes.resize(bytes);
  }
  RegCloseKey(key);
  return value;
}

// Stores the bytes exactly as given, as another program may have left them. The native
// call is used because 64-bit Wine's RegSetValueExW adds a terminator to a string list
// that lacks one, which would hide the very values the tests are about.
LONG SetRawValue(HKEY key, const wchar_t* name, DWORD type, const std::vector<BYTE>& bytes) {
  struct CountedName {
    USHORT length, capacity;
    const wchar_t* buffer;
  };
  typedef LONG(NTAPI * SetValueKey)(HANDLE, CountedName*, ULONG, ULONG, const void*, ULONG);
  const SetValueKey set = reinterpret_cast<SetValueKey>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtSetValueKey")));
  if (set == nullptr) return ERROR_CALL_NOT_IMPLEMENTED;
  const USHORT length = static_cast<USHORT>(wcslen(name) * sizeof(wchar_t));
  CountedName counted = {length, static_cast<USHORT>(length + sizeof(wchar_t)), name};
  return set(key, &counted, 0, type, bytes.data(), static_cast<ULONG>(bytes.size())) == 0 ? ERROR_SUCCESS
                                                                                          : ERROR_WRITE_FAULT;
}

void WritePendingValue(const RegistryValue& value) {
  HKEY key = OpenSessionManager();
  if (value.present) {
    EXPECT_EQ(SetRawValue(key, kPendingOperationsValue, value.type, value.bytes), ERROR_SUCCESS);
  } else {
    RegDeleteValueW(key, kPendingOperationsValue);
  }
  RegCloseKey(key);
}

std::vector<BYTE> WideBytes(const std::wstring& text) {
  const BYTE* start = reinterpret_cast<const BYTE*>(text.data());
  return std::vector<BYTE>(start, start + text.size() * sizeof(wchar_t));
}

RegistryValue Value(DWORD type, const std::wstring& text) {
  RegistryValue value;
  value.present = true;
  value.type = type;
  value.bytes = WideBytes(text);
  return value;
}

// The strings of a list value, empty ones included, up to its final terminator.
std::vector<std::wstring> Strings(const RegistryValue& value) {
  std::vector<std::wstring> strings;
  const wchar_t* text = reinterpret_cast<const wchar_t*>(value.bytes.data());
  size_t count = value.bytes.size() / sizeof(wchar_t);
  if (count > 0 && text[count - 1] == 0) --count;  // the list's final terminator
  std::wstring current;
  for (size_t i = 0; i < count; ++i) {
    if (text[i] == 0) {
      strings.push_back(current);
      current.clear();
    } else {
      current += text[i];
    }
  }
  return strings;
}

std::wstring Wide(const std::string& text) {
  wchar_t buffer[1024] = {};
  MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, buffer, 1024);
  return buffer;
}

// Restores the machine's pending operations after each test.
class RebootDeletionTest : public ::testing::Test {
 protected:
  void SetUp() override { saved_ = ReadPendingValue(); }
  void TearDown() override { WritePendingValue(saved_); }

  // A work directory as a run leaves it, with the kinds of entries the rule must sort:
  // plain, hidden and read-only files, a blank and a non-ASCII letter in names, a long
  // name, and folders with files of their own, one of them hidden (more bits than the
  // directory bit alone).
  std::vector<std::string> FillDirectory() {
    std::vector<std::string> files = {"SETUP.EXE", "data file.bin", ".hidden", std::string(200, 'n') + ".dll"};
    char accented[8] = {};
    BOOL lossy = FALSE;
    if (WideCharToMultiByte(CP_ACP, 0, L"\u00e9t\u00e9.txt", -1, accented, sizeof(accented), nullptr, &lossy) > 0 &&
        !lossy) {
      files.push_back(accented);
    }
    for (const std::string& name : files) WriteFileText(folder_.Join(name), name);
    SetFileAttributesA(folder_.Join(".hidden").c_str(), FILE_ATTRIBUTE_HIDDEN);
    WriteFileText(folder_.Join("readonly.txt"), "r");
    SetFileAttributesA(folder_.Join("readonly.txt").c_str(), FILE_ATTRIBUTE_READONLY);
    files.push_back("readonly.txt");
    for (const char* name : {"sub", ".sub"}) {
      CreateDirectoryA(folder_.Join(name).c_str(), nullptr);
      WriteFileText(folder_.Join(name) + "\\inner.txt", "i");
    }
    SetFileAttributesA(folder_.Join(".sub").c_str(), FILE_ATTRIBUTE_HIDDEN);
    EXPECT_NE(GetFileAttributesA(folder_.Join(".sub").c_str()), static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY));
    return files;
  }

  TempFolder folder_;
  RegistryValue saved_;
};

// Values as other programs may have left them: pairs of deletions and renames (a
// rename's "!" asks to replace), Korean text that no ANSI code page here can hold, and
// values the calls would treat in their own way.
TEST_F(RebootDeletionTest, OneUpdateLeavesExactlyWhatTheCallsLeave) {
  FillDirectory();
  const std::wstring others = std::wstring(L"\\??\\C:\\other\\a.tmp") + L'\0' + L'\0' +
                              L"\\??\\C:\\other\\\uac00.old" + L'\0' + L"!\\??\\C:\\other\\b.new" + L'\0' +
                              L'\0';
  struct Case {
    const char* what;
    RegistryValue before;
    bool oneUpdate;  // whether the one update applies, or the calls are left to do it
  };
  const std::vector<Case> cases = {
      {"no value yet", RegistryValue(), true},
      {"other programs' records", Value(REG_MULTI_SZ, others), true},
      {"an empty list", Value(REG_MULTI_SZ, std::wstring(1, L'\0')), true},
      {"a list without its final terminator", Value(REG_MULTI_SZ, L"\\??\\C:\\x"), false},
      {"an odd number of bytes", [] {
         RegistryValue v = Value(REG_MULTI_SZ, std::wstring(L"\\??\\C:\\x") + L'\0' + L'\0');
         v.bytes.push_back(0);
         return v;
       }(), false},
      {"no bytes at all", Value(REG_MULTI_SZ, L""), false},
      {"a value of another type", Value(REG_SZ, std::wstring(L"text") + L'\0'), false},
  };
  const std::string directory = folder_.path();
  for (const Case& c : cases) {
    WritePendingValue(c.before);
    RecordDeletionsOneByOne(directory.c_str());
    const RegistryValue byCalls = ReadPendingValue();

    WritePendingValue(c.before);
    EXPECT_EQ(RecordDeletionsInOneWrite(directory.c_str()), c.oneUpdate ? 1 : 0) << c.what;
    if (!c.oneUpdate) EXPECT_TRUE(ReadPendingValue() == c.before) << c.what << ": untouched when refused";

    WritePendingValue(c.before);
    ScheduleDeleteAtReboot(directory.c_str());
    const RegistryValue scheduled = ReadPendingValue();
    EXPECT_TRUE(scheduled == byCalls) << c.what << ": " << scheduled.bytes.size() << " bytes against "
                                      << byCalls.bytes.size() << " from the calls";
  }
}

// Every file and folder of the tree, each folder after everything under it, the
// directory last; a link planted in the tree is neither entered nor recorded.
TEST_F(RebootDeletionTest, EveryFileAndFolderEachFolderAfterWhatItHolds) {
  std::vector<std::string> paths = FillDirectory();
  for (const char* folder : {"sub\\deeper", "sub\\deeper\\empty", "sub\\deeper\\last"}) {
    ASSERT_TRUE(CreateDirectoryA(folder_.Join(folder).c_str(), nullptr)) << folder;
  }
  WriteFileText(folder_.Join("sub\\deeper\\last\\z.txt"), "z");
  TempFolder away;
  WriteFileText(away.Join("precious.txt"), "keep");
  ASSERT_TRUE(MakeHostSymlink(away.path(), folder_.Join("sub\\link")));
  for (const char* path : {"sub", "sub\\inner.txt", ".sub", ".sub\\inner.txt", "sub\\deeper",
                           "sub\\deeper\\empty", "sub\\deeper\\last", "sub\\deeper\\last\\z.txt"}) {
    paths.push_back(path);
  }
  WritePendingValue(RegistryValue());
  ASSERT_EQ(RecordDeletionsInOneWrite(folder_.path().c_str()), 1);
  const std::vector<std::wstring> strings = Strings(ReadPendingValue());

  // Pairs of a path and an empty destination; the directory comes last.
  ASSERT_EQ(strings.size(), 2 * (paths.size() + 1));
  std::vector<std::wstring> recorded;
  for (size_t i = 0; i < strings.size(); i += 2) {
    EXPECT_TRUE(strings[i + 1].empty()) << i;
    recorded.push_back(strings[i]);
  }
  const std::wstring prefix = L"\\??\\" + Wide(folder_.path());
  EXPECT_EQ(recorded.back(), prefix);
  for (size_t i = 0; i < recorded.size(); ++i) {
    for (size_t later = i + 1; later < recorded.size(); ++later) {
      EXPECT_NE(recorded[later].rfind(recorded[i] + L"\\", 0), 0u) << "inside a folder recorded before it";
    }
  }
  recorded.pop_back();
  std::vector<std::wstring> expected;
  for (const std::string& name : paths) expected.push_back(prefix + L"\\" + Wide(name));
  std::sort(recorded.begin(), recorded.end());
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(recorded, expected);
  EXPECT_TRUE(RemoveWithoutFollowing(folder_.Join("sub\\link")));
}

// The value built on plain data: what is kept of the earlier value, how paths are
// written, and which earlier values are left to the calls.
TEST(PendingDeleteValue, BuildsTheSystemsLayoutFromTheEarlierValue) {
  const std::wstring z(1, L'\0');
  struct Case {
    const char* what;
    int present;
    DWORD type;
    std::vector<BYTE> before;
    std::vector<std::string> paths;
    int started;
    std::wstring after;  // without the list's final terminator
  };
  const std::vector<Case> cases = {
      {"first records", 0, 0, {}, {"C:\\w\\a.bin", "C:\\w"}, 1,
       L"\\??\\C:\\w\\a.bin" + z + z + L"\\??\\C:\\w" + z + z},
      {"after other records", 1, REG_MULTI_SZ, WideBytes(L"\\??\\C:\\x" + z + L"!\\??\\C:\\y" + z + z),
       {"C:\\w\\a"}, 1, L"\\??\\C:\\x" + z + L"!\\??\\C:\\y" + z + L"\\??\\C:\\w\\a" + z + z},
      {"after an empty list", 1, REG_MULTI_SZ, WideBytes(z), {"C:\\w"}, 1, L"\\??\\C:\\w" + z + z},
      {"a share", 0, 0, {}, {"\\\\server\\share\\w\\a"}, 1, L"\\??\\UNC\\server\\share\\w\\a" + z + z},
      {"dots and forward slashes made plain", 0, 0, {}, {"C:\\w\\.\\sub\\..\\a/b"}, 1,
       L"\\??\\C:\\w\\a\\b" + z + z},
      {"no terminator", 1, REG_MULTI_SZ, WideBytes(L"\\??\\C:\\x"), {}, 0, L""},
      {"odd length", 1, REG_MULTI_SZ, {'a', 0, 0}, {}, 0, L""},
      {"no bytes", 1, REG_MULTI_SZ, {}, {}, 0, L""},
      {"a plain string", 1, REG_SZ, WideBytes(L"x" + z), {}, 0, L""},
      {"binary", 1, REG_BINARY, WideBytes(z), {}, 0, L""},
  };
  for (const Case& c : cases) {
    PendingDeleteValue value;
    ASSERT_EQ(value.Start(c.present, c.type, c.before.data(), static_cast<DWORD>(c.before.size())), c.started)
        << c.what;
    if (!c.started) continue;
    for (const std::string& path : c.paths) ASSERT_EQ(value.AddDeletion(path.c_str()), 1) << c.what << path;
    const std::wstring written(reinterpret_cast<const wchar_t*>(value.data()), value.size() / sizeof(wchar_t));
    EXPECT_EQ(written, c.after + z) << c.what;

    // The same records made apart first, then put after the earlier value.
    PendingDeleteValue records;
    ASSERT_EQ(records.Start(0, 0, nullptr, 0), 1);
    for (const std::string& path : c.paths) ASSERT_EQ(records.AddDeletion(path.c_str()), 1);
    PendingDeleteValue joined;
    ASSERT_EQ(joined.Start(c.present, c.type, c.before.data(), static_cast<DWORD>(c.before.size())), 1);
    ASSERT_EQ(joined.AppendRecordsOf(records), 1);
    EXPECT_EQ(std::wstring(reinterpret_cast<const wchar_t*>(joined.data()), joined.size() / sizeof(wchar_t)),
              written)
        << c.what;
  }
}

TEST(PendingDeleteValue, GrowsForThousandsOfRecordsAndRefusesPathsItCannotWrite) {
  PendingDeleteValue value;
  ASSERT_EQ(value.Start(0, 0, nullptr, 0), 1);
  std::wstring expected;
  for (int i = 0; i < 5000; ++i) {
    char path[64];
    snprintf(path, sizeof(path), "C:\\users\\x\\Temp\\KVLodkin0123456\\data%05d.bin", i);
    ASSERT_EQ(value.AddDeletion(path), 1);
    expected += L"\\??\\" + Wide(path) + L'\0' + L'\0';
  }
  expected += L'\0';
  ASSERT_EQ(value.size(), expected.size() * sizeof(wchar_t));
  EXPECT_EQ(0, memcmp(value.data(), expected.data(), value.size()));

  // Device names and forms that are NT paths already are recorded by the calls alone.
  wchar_t ntPath[600];
  const std::string overlong(600, 'a');
  for (const char* path : {"\\\\.\\COM1", "\\\\?\\C:\\w\\a", overlong.c_str()}) {
    EXPECT_EQ(MakeNtPath(path, ntPath, 600), 0) << path;
  }
  EXPECT_EQ(MakeNtPath("C:\\w\\a", ntPath, 9), 0) << "no room for the terminator";
  EXPECT_EQ(MakeNtPath("C:\\w\\a", ntPath, 11), 10);
  EXPECT_STREQ(ntPath, L"\\??\\C:\\w\\a");
}

}  // namespace
