#include "support/test_package.h"

#include <stdexcept>

#include "core/package_writer.h"
#include "support/test_files.h"

std::vector<char> WriteTestPackage(const std::string& packagePath, const std::string& modulePath,
                                   const std::vector<TestMember>& members,
                                   const std::string& scratchFolder) {
  RemoveFile(packagePath.c_str());
  BinaryFile package, module;
  if (!package.CreateNew(packagePath.c_str()) || !module.OpenForReading(modulePath.c_str())) {
    throw std::runtime_error("cannot open " + packagePath);
  }
  CopyBuffer buffer;
  {
    PackageWriter writer(package, static_cast<uint32_t>(members.size()), buffer);
    if (writer.AppendModuleImage(module) != kPackageWriteOk) throw std::runtime_error("module copy");
    int index = 0;
    for (const TestMember& member : members) {
      std::string source = scratchFolder + "\\member" + std::to_string(index++);
      WriteFileBytes(source, member.bytes);
      BinaryFile in;
      in.OpenForReading(source.c_str());
      if (writer.AppendMember(in, member.name.c_str()) != kPackageWriteOk) {
        throw std::runtime_error("member copy");
      }
    }
    if (writer.Finish() != kPackageWriteOk) throw std::runtime_error("finish");
  }
  if (!package.Close()) throw std::runtime_error("close " + packagePath);
  return ReadFileBytes(packagePath);
}

int ExtractMemberTo(PackageReader& reader, int index, const std::string& path) {
  RemoveFile(path.c_str());
  BinaryFile out;
  if (!out.CreateNew(path.c_str())) return 0;
  CopyBuffer buffer;
  const int copied = reader.CopyMember(index, out, buffer) == kMemberIntact;
  return out.Close() && copied;
}
