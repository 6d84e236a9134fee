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

TEST(BuildGrantedDescriptor, NewEntryGoesAfterExplicitAndBeforeInheritedEntries) {
  Built built = Build("D:(A;;GA;;;BA)(A;;GR;;;SY)(A;ID;GA;;;BA)(A;ID;GR;;;BU)");
  EXPECT_EQ((std::vector<std::string>{kAdminsFull, kSystemRead, kNewEntry, kInheritedAdmins,
                                      kInheritedUsers}),
            built.entries);

  built = Build("D:(A;ID;GA;;;BA)(A;ID;GR;;;BU)");
  EXPECT_EQ((std::vector<std::string>{kNewEntry, kInheritedAdmins, kInheritedUsers}),
            built.entries);
}

TEST(BuildGrantedDescriptor, ExplicitEntriesForTheAccountAreDroppedOnlyBeforeTheFirstInherited) {
  // The denied entry and the read entry for Users go; the explicit one after I1 stays.
  Built built = Build("D:(D;;GA;;;BU)(A;;GA;;;BA)(A;;GR;;;BU)(A;ID;GA;;;BA)(A;;GW;;;BU)");
  EXPECT_EQ((std::vector<std::string>{kAdminsFull, kNewEntry, kInheritedAdmins,
                                      "0 00 40000000 S-1-5-32-545"}),
            built.entries);
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

TEST(BuildGrantedDescriptor, NoDaclAndNullDaclGiveTheNewEntryAlone) {
  EXPECT_EQ(std::vector<std::string>{kNewEntry}, Build("O:BA").entries);
  EXPECT_EQ(std::vector<std::string>{kNewEntry}, Build("D:NO_ACCESS_CONTROL").entries);
  EXPECT_EQ(std::vector<std::string>{kNewEntry}, Build("D:").entries);
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
  std::string outputPath = outputFolder.Join("stdout.txt");
  SECURITY_ATTRIBUTES inherit = {sizeof(inherit), 0, TRUE};
  HANDLE output = CreateFileA(outputPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit,
                              CREATE_ALWAYS, 0, 0);
  EXPECT_NE(INVALID_HANDLE_VALUE, output);
  std::string program = BuildBinFolder() + "\\grant_access_probe.exe";
  std::string commandLine = "\"" + program + "\" \"" + file + "\" \"" + account + "\"";
  std::vector<char> writable(commandLine.begin(), commandLine.end());
  writable.push_back(0);
  STARTUPINFOA startup = {};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdOutput = output;
  startup.hStdError = output;
  startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  PROCESS_INFORMATION process = {};
  *exitCode = 99;
  if (CreateProcessA(program.c_str(), writable.data(), 0, 0, TRUE, 0, 0, 0, &startup, &process)) {
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(process.hProcess, 20000));
    GetExitCodeProcess(process.hProcess, exitCode);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
  } else {
    ADD_FAILURE() << "probe did not start";
  }
  CloseHandle(output);
  std::vector<char> bytes = ReadFileBytes(outputPath);
  return std::string(bytes.begin(), bytes.end());
}

TEST(GrantFileAccess, UnknownAccountWritesTheLookupLineAndLeavesTheFileAlone) {
  TempFolder folder;
  std::string file = folder.Join("member.bin");
  WriteFileText(file, "data");
  DWORD exitCode = 0;
  std::string out = RunProbe(file, "NoSuchAccountLodkin", &exitCode);
  EXPECT_EQ(0u, exitCode);
  EXPECT_EQ("LookupAccountName() failed. Error 1332\r\n", out);
  EXPECT_EQ("data", std::string(ReadFileBytes(file).data(), 4));
}

TEST(GrantFileAccess, MissingFileWritesTheGetFileSecurityLine) {
  TempFolder folder;
  DWORD exitCode = 0;
  std::string out = RunProbe(folder.Join("absent.bin"), "Users", &exitCode);
  EXPECT_EQ(0u, exitCode);
  EXPECT_EQ("GetFileSecurity() failed. Error 2\r\n", out);
}

TEST(GrantFileAccess, UsersResolvesAndTheCallSucceedsSilently) {
  TempFolder folder;
  std::string file = folder.Join("member.bin");
  WriteFileText(file, "data");
  DWORD exitCode = 0;
  std::string out = RunProbe(file, "Users", &exitCode);
  EXPECT_EQ(1u, exitCode);
  EXPECT_EQ("", out);
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
