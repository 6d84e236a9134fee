// Whole-file reads and writes for the tests of both sides (the Windows tests under Wine
// and the native ones): plain C runtime calls that build for either.
#pragma once
#include <string>
#include <vector>

// Each throws std::runtime_error when the file cannot be had.
void WriteFileBytes(const std::string& path, const std::vector<char>& bytes);
void WriteFileText(const std::string& path, const std::string& text);
std::vector<char> ReadFileBytes(const std::string& path);

