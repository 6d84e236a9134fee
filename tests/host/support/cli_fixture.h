// The fixture of the tests that run the native tool on files of their own: a fresh folder,
// and lodkin-cli run in it, so that every such test starts the tool the same way.
#pragma once
#include <gtest/gtest.h>
#include <stdint.h>

#include <string>
#include <utility>
#include <vector>

#include "host/support/tool_process.h"
#include "support/test_files.h"

class CliFixture : public ::testing::Test {
 protected:
  // The tool run in `in` (by default root_) with cliEnvironment_ set; writes beyond
  // `fileSizeLimit` bytes fail (0: no limit), as on a full disk.
  RunResult Cli(const std::vector<std::string>& arguments, uint64_t fileSizeLimit = 0,
                const TempFolder* in = nullptr) const {
    RunSettings settings;
    settings.directory = (in != nullptr ? in : &root_)->path();
    settings.fileSizeLimit = fileSizeLimit;
    settings.environment = cliEnvironment_;
    return RunCli(arguments, settings);
  }

  TempFolder root_;
  std::vector<std::pair<std::string, std::string>> cliEnvironment_;
};
