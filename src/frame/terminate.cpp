// What the plug-in does when the C++ runtime must terminate (an exception that no export
// boundary caught, which RunExport does not let happen). The runtime's default handler writes
// the exception's type, demangled, to stderr: an installer has no stderr, and the demangler and
// the formatted output it needs are most of the runtime's size in the DLL. Defining the default
// handler here keeps that code out; the process ends as it would after the message.
#include <cstdlib>
#include <exception>

namespace __gnu_cxx {

void __verbose_terminate_handler() { std::abort(); }

}  // namespace __gnu_cxx
