// The plug-in's sources are linked in: its dialog templates load from this program's module.
#include "installer.h"
#include "frame/plugin.h"

int main(int argc, char** argv) {
  tv::g_instance = GetModuleHandleA(nullptr);
  return RunAll(argc, argv);
}
