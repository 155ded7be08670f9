// The firewall component's result codes and the script words it reads. No Windows headers:
// unit-tested natively.
#pragma once
#include <cstddef>
#include <cstdint>

#include "frame/text.h"

namespace tv {

// Result of every firewall operation; 0 is success, any other value names the step that failed.
// Inside the component each step answers this type, and its operation returns the first
// code that is not FW_OK.
enum FW_ERROR_CODE : std::int32_t {
  FW_OK = 0,
  FW_NO_PROFILE = 1,             // no current profile (or connected twice)
  FW_MANAGER_CREATE = 2,         // the firewall manager object
  FW_LOCAL_POLICY = 3,           // INetFwMgr::get_LocalPolicy
  FW_CURRENT_PROFILE = 4,        // INetFwPolicy::get_CurrentProfile
  FW_NULL_ARGUMENT = 7,          // a required string is missing
  FW_APPLICATIONS = 8,           // INetFwProfile::get_AuthorizedApplications
  FW_READ_EXISTING = 9,          // enabled state, profiles, program, protocol or port of an existing one
  FW_APPLICATION_CREATE = 10,    // a new authorized-application object
  FW_COM_STRING = 11,            // an empty (or too long, or unallocatable) string
  FW_IMAGE_NAME = 12,            // the program of a new application, or of a new or updated rule
  FW_NAME = 13,                  // put_Name of a new application, port or rule
  FW_COLLECTION_ADD = 14,        // Add to the profile's applications or open ports
  FW_COLLECTION_REMOVE = 15,     // Remove from them
  FW_OPEN_PORTS = 16,            // INetFwProfile::get_GloballyOpenPorts
  FW_PORT_READ_ENABLED = 17,     // enabled state of an existing open port
  FW_PORT_CREATE = 19,           // a new open-port object
  FW_PORT_NUMBER = 20,           // the port of a new or updated port or rule, or one outside 1-65535
  FW_PORT_PROTOCOL = 21,         // the protocol of a new or updated open port or rule
  FW_RULE_PROPERTY = 22,         // any other property of a rule: action, description, remote
                                 // addresses, enabled, interface types, profiles
  FW_SCOPE = 25,                 // put_Scope
  FW_IP_VERSION = 26,            // put_IpVersion
  FW_RULE_CREATE = 27,           // a new rule object
  FW_RULES = 28,                 // INetFwPolicy2::get_Rules
  FW_RULE_ADD = 29,              // INetFwRules::Add
  FW_RULE_REMOVE = 30,           // INetFwRules::Remove
};

// IP protocol numbers as the firewall interfaces take them.
constexpr std::int32_t kProtocolTcp = 6;
constexpr std::int32_t kProtocolUdp = 17;
constexpr std::int32_t kProtocolAny = 256;

// Longest path or name, in UTF-16 units, that the firewall exports pass on; a longer one is
// refused (code 11) rather than cut.
constexpr std::size_t kFirewallTextCapacity = 1024;

namespace detail {
template <class C>
bool IsWord(const C* s, const char* word) {
  std::size_t i = 0;
  for (; word[i] != '\0'; ++i)
    if (s[i] != C(static_cast<unsigned char>(word[i]))) return false;
  return s[i] == C(0);
}
}  // namespace detail

// An application exception's protocol word, compared exactly: "UDP", "TCP", anything else any.
template <class C>
std::int32_t ApplicationProtocol(const C* word) {
  if (detail::IsWord(word, "UDP")) return kProtocolUdp;
  if (detail::IsWord(word, "TCP")) return kProtocolTcp;
  return kProtocolAny;
}

// A port exception's protocol word: exactly "UDP" is UDP, every other word TCP.
template <class C>
std::int32_t PortProtocol(const C* word) {
  return detail::IsWord(word, "UDP") ? kProtocolUdp : kProtocolTcp;
}

// Copies a UTF-16 text that fits `capacity` units (NUL included) into dst; a longer one leaves
// dst empty, so that it is refused like an empty text instead of being cut. False when it did
// not fit.
template <class W>
bool CopyWhole(W* dst, std::size_t capacity, const W* src) {
  if (capacity == 0) return false;
  if (Length(src) >= capacity) {
    dst[0] = W(0);
    return false;
  }
  CopyBounded(dst, src, capacity);
  return true;
}

}  // namespace tv
