// The few pieces of JSON that `list --json` prints.
#pragma once
#include <stdio.h>

// A member name as a JSON string. Names are bytes of the system's code page: valid UTF-8
// passes through, and any other byte stands for the character of the same number
// (\u00XX), so the output is always valid JSON.
void PrintJsonString(FILE* out, const char* text);
