// The owner lookup on processes of this prefix: all of them run under the installer's own user.
#include "installer.h"
#include "quillmere/system/process_owner.h"

TEST_CASE(OwnerOfOwnProcessIsTheSameUser) {
  tv::ProcessOwner owner;
  CHECK(owner.Lookup(GetCurrentProcessId()));
  CHECK_EQ(owner.sameUser, 1);
  CHECK(owner.sidString != nullptr && owner.sidString[0] == 'S');
  CHECK(owner.accountName == nullptr);

  tv::ProcessOwner none;
  CHECK(!none.Lookup(0xFFFFFFF0u));  // no such process: the lookup fails and names nothing
  CHECK(none.sidString == nullptr);
}
