// A program run with this process as its debugger, for what it sends to the debugger output.
#pragma once
#include <string>
#include <vector>

#include "support/test_process.h"

ProcessResult RunCollectingDebugOutput(const std::string& commandLine, std::vector<std::string>* texts);
