// The Wine harness: loads one built plug-in variant as the installer does and runs every case.
// Arguments: dll=PATH variant=NAME service=PATH-OF-THE-TEST-SERVICE [only=CASE]
#include "harness.h"

Plugin& Dll() {
  static Plugin plugin(Arg("dll"));
  return plugin;
}

int main(int argc, char** argv) { return RunAll(argc, argv); }
