#include "support/test_package.h"

#include <cstdio>
#include <stdexcept>

#include "package/package_writer.h"
#include "support/test_files.h"

std::vector<char> WriteTestPackage(const std::string& packagePath, const std::string& modulePath,
                                   const std::vector<TestMember>& members,
                                   const std::string& scratchFolder) {
  FILE* package = fopen(packagePath.c_str(), "wb");
  FILE* module = fopen(modulePath.c_str(), "rb");
  if (package == nullptr || module == nullptr) throw std::runtime_error("cannot open " + packagePath);
  {
    PackageWriter writer(package, static_cast<uint32_t>(members.size()));
    if (writer.AppendModuleImage(module) != kPackageWriteOk) throw std::runtime_error("module copy");
    int index = 0;
    for (const TestMember& member : members) {
      std::string source = scratchFolder + "\\member" + std::to_string(index++);
      WriteFileBytes(source, member.bytes);
      FILE* in = fopen(source.c_str(), "rb");
      if (writer.AppendMember(in, member.name.c_str()) != kPackageWriteOk) {
        throw std::runtime_error("member copy");
      }
      fclose(in);
    }
    if (writer.Finish() != kPackageWriteOk) throw std::runtime_error("finish");
  }
  fclose(module);
  fclose(package);
  return ReadFileBytes(packagePath);
}
