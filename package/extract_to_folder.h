// The "-e" mode: unpacks the running package into a folder beside it.
#pragma once

int ExtractPackageToFolder(char* commandLine);
