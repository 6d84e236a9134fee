// The "-d" mode: removes a work directory from the temporary folder and the Run value.
#pragma once

int CleanWorkDirectory(char* commandLine);
