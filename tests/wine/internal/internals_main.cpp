// Runs the cases of the plug-in's internals. The plug-in's sources are linked into this program,
// so its resources (dialog templates) load from the program's own module.
#include "installer.h"
#include "frame/plugin.h"

int main(int argc, char** argv) {
  tv::g_instance = GetModuleHandleA(nullptr);
  return RunAll(argc, argv);
}
