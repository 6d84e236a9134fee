#include <windows.h>

#include "app/lodkin_app.h"

// The one application object, constructed before WinMain runs.
CLodkinApp theApp;

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int) {
  return AfxWinMain(instance, commandLine);
}
