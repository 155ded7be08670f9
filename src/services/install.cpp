// Install: creates a service from nine script arguments, granting its account the right to log
// on as a service.
#include "logon_right.h"
#include "scm.h"
#include "service_args.h"

using namespace tv;

namespace {

// Numbers are read through a buffer of 128 characters; a longer argument is cut.
constexpr std::size_t kNumberBuffer = 128;

bool PopNumber(Frame& frame, DWORD* value) {
  tchar text[kNumberBuffer] = {};
  if (frame.popstring(text, kNumberBuffer) != 0) return false;
  *value = static_cast<DWORD>(myatoi(text));
  return true;
}

// Pops the arguments and creates the service; false when an argument is missing, the manager
// cannot be opened or the creation fails, with *result the code to report.
bool CreateFromArguments(Frame& frame, std::int32_t* result) {
  ServiceHandle manager(OpenManagerT(SC_MANAGER_ALL_ACCESS));
  if (!manager) {
    *result = kManagerUnavailable;
    return false;
  }

  Arg name(frame);
  if (!PopArg(frame, name)) return false;
  Arg displayName(frame);
  if (!PopArg(frame, displayName)) return false;
  DWORD serviceType = 0, startType = 0;
  if (!PopNumber(frame, &serviceType) || !PopNumber(frame, &startType)) return false;
  Arg binaryPath(frame);
  if (!PopArg(frame, binaryPath)) return false;
  Arg group(frame);
  if (!PopArg(frame, group)) return false;

  Arg dependencies(frame);
  if (!PopArg(frame, dependencies)) return false;
  const bool hasDependencies = !dependencies.empty();
  if (hasDependencies) ToDependencyList(dependencies.data(), dependencies.capacity());

  Arg account(frame);
  if (!PopArg(frame, account)) return false;
  const bool hasAccount = !account.empty();
  Arg qualifiedAccount(frame);
  if (hasAccount) {
    std::size_t room = frame.TextCapacity() < qualifiedAccount.capacity() ? frame.TextCapacity()
                                                                          : qualifiedAccount.capacity();
    if (!QualifyAccount(account.c_str(), qualifiedAccount.data(), room)) return false;
  }

  SecretArg password(frame);
  if (!PopSecret(frame, password)) return false;

  // Only once the arguments are complete, and to the account the service is created for.
  ServiceLogonGrant grant;
  if (hasAccount) grant.Grant(qualifiedAccount.c_str());
  DWORD* tag = group.empty() ? nullptr : reinterpret_cast<DWORD*>(result);
  ServiceHandle service(CreateServiceT(manager.get(), name.c_str(), displayName.c_str(), serviceType, startType,
                                       binaryPath.c_str(), group.c_str(), tag,
                                       hasDependencies ? dependencies.c_str() : nullptr,
                                       hasAccount ? qualifiedAccount.c_str() : nullptr,
                                       hasAccount ? password.c_str() : nullptr));
  if (!service) {
    *result = static_cast<std::int32_t>(GetLastError());
    grant.Revoke();
    return false;
  }
  return true;
}

}  // namespace

// Arguments in popping order (the script pushes them the other way round): service name,
// display name, service type, start type, command line, load-order group, dependencies
// (';'-separated), account, password. Pushes the result number and "success", or "error"
// below the error code of the creation, -559038801 when an argument is missing, 100 when the
// manager cannot be opened. The password leaves no copy behind: its entry, its buffer and every
// entry the call clears from the stack are wiped before they are freed.
TARVOLK_EXPORT(Install, SystemFrame) {
  // The tag of the new service, the error code of a failed creation, or the placeholder.
  std::int32_t result = kInstallPlaceholder;
  bool created = CreateFromArguments(frame, &result);
  frame.clearstack(true);
  Report(frame, created, result);
}
