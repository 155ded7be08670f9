// Storage for the firewall's class and interface identifiers, which the import libraries lack.
#include <initguid.h>

#include <netfw.h>
