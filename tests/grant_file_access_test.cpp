// Granting an account access: the DACL decision on real descriptors made from SDDL, and
// the file operation run as its own process with its standard output in a file.
#include <gtest/gtest.h>
#include <windows.h>
#include <sddl.h>

#include <cstring>
#include <string>
#include <vector>

#include "security/builtin_group.h"
#include "security/grant_file_access.h"
#include "support/test_files.h"
#include "support/test_process.h"

namespace {

const char kUsers[] = "S-1-5-32-545";
const DWORD kReadExecute = GENERIC_READ | GENERIC_EXECUTE;

// A self-relative descriptor from SDDL, freed with LocalFree.
class SddlDescriptor {
 public:
  explicit SddlDescriptor(const char* sddl) : descriptor_(0) {
    EXPECT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorA(sddl, SDDL_REVISION_1,
                                                                      &descriptor_, 0))
        << sddl;
  }
  ~SddlDescriptor() { LocalFree(descriptor_); }
  PSECURITY_DESCRIPTOR get() const { return descriptor_; }

 private:
  PSECURITY_DESCRIPTOR descriptor_;
};

class Sid {
 public:
  explicit Sid(const char* text) : sid_(0) { EXPECT_TRUE(ConvertStringSidToSidA(text, &sid_)); }
  ~Sid() { LocalFree(sid_); }
  PSID get() const { return sid_; }

 private:
  PSID sid_;
};

std::string SidText(PSID sid) {
  char* text = 0;
  if (!ConvertSidToStringSidA(sid, &text)) return "?";
  std::string result = text;
  LocalFree(text);
  return result;
}

// Each entry as "type flags mask SID"; object entries show their type only.
std::vector<std::string> DescribeDacl(PACL dacl) {
  std::vector<std::string> entries;
  ACL_SIZE_INFORMATION sizes = {};
  EXPECT_TRUE(GetAclInformation(dacl, &sizes, sizeof(sizes), AclSizeInformation));
  for (DWORD i = 0; i < sizes.AceCount; ++i) {
    void* ace = 0;
    EXPECT_TRUE(GetAce(dacl, i, &ace));
    ACE_HEADER* header = static_cast<ACE_HEADER*>(ace);
    char line[64];
    snprintf(line, sizeof(line), "%d %02x %08lx ", header->AceType, header->AceFlags,
             static_cast<ACCESS_ALLOWED_ACE*>(ace)->Mask);
    std::string text = line;
    if (header->AceType <= ACCESS_DENIED_ACE_TYPE) {
      text += SidText(&static_cast<ACCESS_ALLOWED_ACE*>(ace)->SidStart);
    } else {
      text += "object";
    }
    entries.push_back(text);
  }
  return entries;
}

struct Built {
  std::vector<std::string> entries;
  SECURITY_DESCRIPTOR_CONTROL control = 0;
};

Built Build(const char* sddl, const char* account = kUsers) {
  SddlDescriptor old(sddl);
  Sid sid(account);
  GrantedDescriptor granted;
  Built built;
  EXPECT_EQ(1, BuildGrantedDescriptor(old.get(), sid.get(), kReadExecute, &granted)) << sddl;
  BOOL present = FALSE, defaulted = FALSE;
  PACL dacl = 0;
  EXPECT_TRUE(GetSecurityDescriptorDacl(granted.descriptor(), &present, &dacl, &defaulted));
  EXPECT_TRUE(present);
  EXPECT_EQ(granted.dacl(), dacl);
  if (dacl) built.entries = DescribeDacl(dacl);
  DWORD revision = 0;
  EXPECT_TRUE(GetSecurityDescriptorControl(granted.descriptor(), &built.control, &revision));
  return built;
}

const std::string kNewEntry = "0 00 a0000000 S-1-5-32-545";
const std::string kAdminsFull = "0 00 10000000 S-1-5-32-544";        // E1: (A;;GA;;;BA)
const std::string kSystemRead = "0 00 80000000 S-1-5-18";            // E2: (A;;GR;;;SY)
const std::string kInheritedAdmins = "0 10 10000000 S-1-5-32-544";   // I1: (A;ID;GA;;;BA)
const std::string kInheritedUsers = "0 10 80000000 S-1-5-32-545";    // I2: (A;ID;GR;;;BU)

// The new entry goes after the explicit entries and before the inherited ones; explicit
// entries for the account are dropped only before the first inherited entry; without a
// DACL, or with a null or empty one, the new entry stands alone.
TEST(BuildGrantedDescriptor, TheNewEntryTakesItsPlaceAmongTheOldOnes) {
  const struct {
    const char* sddl;
    std::vector<std::string> entries;
  } cases[] = {
      {"D:(A;;GA;;;BA)(A;;GR;;;SY)(A;ID;GA;;;BA)(A;ID;GR;;;BU)",
       {kAdminsFull, kSystemRead, kNewEntry, kInheritedAdmins, kInheritedUsers}},
      {"D:(A;ID;GA;;;BA)(A;ID;GR;;;BU)", {kNewEntry, kInheritedAdmins, kInheritedUsers}},
      // The denied entry and the read entry for Users go; the explicit one after I1 stays.
      {"D:(D;;GA;;;BU)(A;;GA;;;BA)(A;;GR;;;BU)(A;ID;GA;;;BA)(A;;GW;;;BU)",
       {kAdminsFull, kNewEntry, kInheritedAdmins, "0 00 40000000 S-1-5-32-545"}},
      {"O:BA", {kNewEntry}},
      {"D:NO_ACCESS_CONTROL", {kNewEntry}},
      {"D:", {kNewEntry}},
  };
  for (const auto& c : cases) EXPECT_EQ(c.entries, Build(c.sddl).entries) << c.sddl;
}

TEST(BuildGrantedDescriptor, CallingTwiceLeavesOneExplicitEntryForTheAccount) {
  SddlDescriptor old("D:(A;;GA;;;BA)(A;ID;GR;;;SY)");
  Sid users(kUsers);
  GrantedDescriptor first;
  ASSERT_EQ(1, BuildGrantedDescriptor(old.get(), users.get(), kReadExecute, &first));
  GrantedDescriptor second;
  ASSERT_EQ(1, BuildGrantedDescriptor(first.descriptor(), users.get(), kReadExecute, &second));
  EXPECT_EQ((std::vector<std::string>{kAdminsFull, kNewEntry, "0 10 80000000 S-1-5-18"}),
            DescribeDacl(second.dacl()));
}

TEST(BuildGrantedDescriptor, InheritanceStateIsCarriedOver) {
  const SECURITY_DESCRIPTOR_CONTROL kBits =
      SE_DACL_AUTO_INHERITED | SE_DACL_AUTO_INHERIT_REQ | SE_DACL_PROTECTED;
  EXPECT_EQ(SE_DACL_AUTO_INHERITED | SE_DACL_AUTO_INHERIT_REQ,
            Build("D:AI(A;ID;GA;;;BA)").control & kBits);
  EXPECT_EQ(SE_DACL_PROTECTED, Build("D:P(A;;GA;;;BA)").control & kBits);
  EXPECT_EQ(SE_DACL_AUTO_INHERITED | SE_DACL_AUTO_INHERIT_REQ,
            Build("D:PAI(A;;GA;;;BA)").control & kBits);
  EXPECT_EQ(0, Build("D:(A;;GA;;;BA)").control & kBits);
}

TEST(BuildGrantedDescriptor, ObjectEntryIsKeptUnchanged) {
  // This SDDL parser knows no object entries, so the DACL is built by hand.
  Sid users(kUsers);
  Sid admins("S-1-5-32-544");
  alignas(8) BYTE aclBytes[256] = {};
  PACL acl = reinterpret_cast<PACL>(aclBytes);
  ASSERT_TRUE(InitializeAcl(acl, sizeof(aclBytes), ACL_REVISION_DS));
  GUID type = {0xbf967aba, 0x0de6, 0x11d0, {0xa2, 0x85, 0x00, 0xaa, 0x00, 0x30, 0x49, 0xe2}};
  // Wine lacks AddAccessAllowedObjectAce: header, mask, flags, object type GUID, SID.
  alignas(4) BYTE objectAce[64] = {};
  DWORD sidLength = GetLengthSid(users.get());
  ACE_HEADER header = {ACCESS_ALLOWED_OBJECT_ACE_TYPE, 0, static_cast<WORD>(28 + sidLength)};
  DWORD mask = 1, flags = ACE_OBJECT_TYPE_PRESENT;
  memcpy(objectAce, &header, 4);
  memcpy(objectAce + 4, &mask, 4);
  memcpy(objectAce + 8, &flags, 4);
  memcpy(objectAce + 12, &type, 16);
  memcpy(objectAce + 28, users.get(), sidLength);
  ASSERT_TRUE(AddAce(acl, ACL_REVISION_DS, MAXDWORD, objectAce, header.AceSize));
  ASSERT_TRUE(AddAccessAllowedAce(acl, ACL_REVISION_DS, GENERIC_ALL, admins.get()));
  SECURITY_DESCRIPTOR old;
  ASSERT_TRUE(InitializeSecurityDescriptor(&old, SECURITY_DESCRIPTOR_REVISION));
  ASSERT_TRUE(SetSecurityDescriptorDacl(&old, TRUE, acl, FALSE));
  GrantedDescriptor granted;
  ASSERT_EQ(1, BuildGrantedDescriptor(&old, users.get(), kReadExecute, &granted));
  std::vector<std::string> entries = DescribeDacl(granted.dacl());
  ASSERT_EQ(3u, entries.size());
  EXPECT_EQ("5 00 00000001 object", entries[0]);
  EXPECT_EQ(kAdminsFull, entries[1]);
  EXPECT_EQ(kNewEntry, entries[2]);
}

// Standard output is a text-mode stream, so each line feed reaches the file as CR LF.
// Runs the probe with its standard output in a file and returns what it wrote.
std::string RunProbe(const std::string& file, const std::string& account, DWORD* exitCode) {
  TempFolder outputFolder;
  ProcessOptions options;
  options.timeoutMs = 20000;
  options.outputPath = outputFolder.Join("stdout.txt");
  const std::string program = BuildBinFolder() + "\\grant_access_probe.exe";
  const ProcessResult result =
      RunCommandLine(program, QuotedCommandLine(program, "\"" + file + "\" \"" + account + "\""), options);
  EXPECT_TRUE(result.started) << "probe did not start";
  EXPECT_TRUE(result.finished);
  *exitCode = result.started ? result.exitCode : 99;
  std::vector<char> bytes = ReadFileBytes(options.outputPath);
  return std::string(bytes.begin(), bytes.end());
}

// What the file operation writes and returns: a line naming the failed call, or nothing
// once the access is granted; the file's bytes stay as they were either way.
TEST(GrantFileAccess, WritesTheFailedCallsLineOrSucceedsSilently) {
  const struct {
    const char* what;
    bool fileThere;
    const char* account;
    DWORD exitCode;
    const char* out;
  } cases[] = {
      {"an unknown account", true, "NoSuchAccountLodkin", 0, "LookupAccountName() failed. Error 1332\r\n"},
      {"a missing file", false, "Users", 0, "GetFileSecurity() failed. Error 2\r\n"},
      {"the Users group", true, "Users", 1, ""},
  };
  for (const auto& c : cases) {
    TempFolder folder;
    const std::string file = folder.Join("member.bin");
    if (c.fileThere) WriteFileText(file, "data");
    DWORD exitCode = 0;
    EXPECT_EQ(c.out, RunProbe(file, c.account, &exitCode)) << c.what;
    EXPECT_EQ(c.exitCode, exitCode) << c.what;
    if (c.fileThere) EXPECT_EQ(ReadFileBytes(file), std::vector<char>({'d', 'a', 't', 'a'})) << c.what;
  }
}

// The group's name comes from its SID, so that a localized system's own name is used:
// whatever name comes back must lead to that same SID again, for every group asked.
TEST(BuiltinGroup, TheNameIsTheOneThisSystemGivesTheWellKnownSid) {
  const struct {
    DWORD rid;
    const char* sid;
  } groups[] = {{kBuiltinUsersRid, "S-1-5-32-545"}, {DOMAIN_ALIAS_RID_ADMINS, "S-1-5-32-544"}};
  std::vector<std::string> names;
  for (const auto& group : groups) {
    char name[512];
    ASSERT_EQ(LookupBuiltinGroupName(group.rid, name, sizeof(name)), 1) << group.sid;
    names.push_back(name);
    BYTE sid[SECURITY_MAX_SID_SIZE];
    DWORD sidSize = sizeof(sid);
    char domain[256];
    DWORD domainSize = sizeof(domain);
    SID_NAME_USE use;
    ASSERT_TRUE(LookupAccountNameA(nullptr, name, sid, &sidSize, domain, &domainSize, &use)) << name;
    char* text = nullptr;
    ASSERT_TRUE(ConvertSidToStringSidA(sid, &text));
    EXPECT_STREQ(text, group.sid) << name;
    LocalFree(text);
  }
  EXPECT_NE(names[0], names[1]);

  char small[4] = "xyz";
  EXPECT_EQ(LookupBuiltinGroupName(kBuiltinUsersRid, small, sizeof(small)), 0);
  EXPECT_STREQ(small, "");

  // GrantFileAccess takes the name as it comes.
  TempFolder folder;
  std::string file = folder.Join("member.bin");
  WriteFileText(file, "data");
  DWORD exitCode = 0;
  EXPECT_EQ("", RunProbe(file, names[0], &exitCode));
  EXPECT_EQ(1u, exitCode);
}

}  // namespace
