// The export boundary as the size-built runtime keeps it: an exception that leaves an export's
// body unwinds through the body's owners and is reported as "error" on the script's stack.
#include "frame/buffer.h"
#include "frame/plugin.h"
#include "installer.h"

TEST_CASE(AnExceptionLeavingAnExportBodyIsReportedAsError) {
  Stack stack(64);
  stack.Push("below");
  tv::Frame frame;
  bool unwound = false;
  struct Marker {
    bool* set;
    ~Marker() { *set = true; }
  };
  tv::RunExport(frame, nullptr, stack.StringSize(), nullptr, reinterpret_cast<tv::stack_t**>(stack.Top()), nullptr,
                [&unwound](tv::Frame& f) {
                  Marker marker{&unwound};
                  tv::BasicText<tv::tchar> text;
                  if (!text.Assign(TV_T("kept while the exception passes"))) return;
                  f.pushword("partial");
                  throw 7;
                });
  CHECK(unwound);
  CHECK_STACK(stack, "error", "partial", "below");
}
