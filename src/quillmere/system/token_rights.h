// What a process's token lets it do, as far as starting a program again must compare two tokens:
// a program that the plug-in ended comes back with a token no stronger than the one it ran with.
// No Windows headers: unit-tested natively.
#pragma once
#include <cstddef>
#include <cstdint>

#include "frame/buffer.h"

namespace tv {

struct TokenRights {
  bool known = false;             // every part below was read
  std::uint32_t session = 0;      // the logon session's terminal session
  std::uint32_t integrity = 0;    // the mandatory label's level (0 where the system has none)
  bool restricted = false;        // it carries restricting SIDs
  bool appContainer = false;      // it runs in an AppContainer
  Buffer<std::uint8_t> user;      // the user's SID
  Buffer<std::uint8_t> groups;    // the SIDs of its enabled groups, one after the other
  Buffer<std::uint64_t> privileges;  // the privileges it holds, enabled or not (their LUIDs)
};

namespace detail {

// The length of the SID that starts `at`, when all of it lies within `left` bytes; else 0.
inline std::size_t SidLength(const std::uint8_t* at, std::size_t left) {
  if (left < 8) return 0;
  std::size_t length = 8 + 4 * static_cast<std::size_t>(at[1]);
  return length <= left ? length : 0;
}

inline bool SameSid(const std::uint8_t* a, std::size_t aLength, const std::uint8_t* b, std::size_t bLength) {
  if (aLength != bLength) return false;
  for (std::size_t i = 0; i < aLength; ++i)
    if (a[i] != b[i]) return false;
  return true;
}

// Whether the list of SIDs holds this one.
inline bool ListsSid(const Buffer<std::uint8_t>& list, const std::uint8_t* sid, std::size_t length) {
  for (std::size_t at = 0, step; at < list.size(); at += step) {
    step = SidLength(list.data() + at, list.size() - at);
    if (step == 0) return false;
    if (SameSid(list.data() + at, step, sid, length)) return true;
  }
  return false;
}

}  // namespace detail

// True when a program started with `candidate` would get no more than `program` gave it: the same
// user and session, an integrity level not higher, no group enabled and no privilege held that
// `program` lacks. A restricted or AppContainer program keeps what confines it only with its own
// token: no other token counts as no stronger. False when either could not be read.
inline bool NoStronger(const TokenRights& candidate, const TokenRights& program) {
  using detail::SidLength;
  if (!candidate.known || !program.known || program.restricted || program.appContainer) return false;
  if (candidate.session != program.session || candidate.integrity > program.integrity) return false;
  std::size_t userLength = SidLength(candidate.user.data(), candidate.user.size());
  if (userLength == 0 || userLength != candidate.user.size() ||
      !detail::SameSid(candidate.user.data(), userLength, program.user.data(), program.user.size()))
    return false;
  for (std::size_t at = 0, step; at < candidate.groups.size(); at += step) {
    step = SidLength(candidate.groups.data() + at, candidate.groups.size() - at);
    if (step == 0 || !detail::ListsSid(program.groups, candidate.groups.data() + at, step)) return false;
  }
  for (std::uint64_t privilege : candidate.privileges) {
    bool held = false;
    for (std::uint64_t other : program.privileges) held = held || other == privilege;
    if (!held) return false;
  }
  return true;
}

}  // namespace tv
