// The arguments of RunAs: switches with their values, then the program and its working directory.
// No Windows headers: unit-tested natively on the stack operations of the frame.
#pragma once
#include "frame/buffer.h"
#include "frame/stack.h"

namespace tv {

template <class C>
struct RunAsArgs {
  using Text = BasicText<C>;
  Text customAccountText, currentUserText;  // "/header": the two radio buttons
  Text userLabel, userDefault;              // "/user"
  Text domainLabel, domainDefault;          // "/domain"
  Text passwordLabel;                       // "/pwd"
  Text nextText;                            // "/next": read and not used
  Text logonFailureText, lockedOutText, otherErrorText;  // "/errors": 1326, 1909, any other
  Text programPath, workingDirectory;
  bool hasProgram = false;
  bool hasWorkingDirectory = false;
  bool outOfMemory = false;  // a text could not be kept: the arguments are incomplete
};

// Switch words compare without regard to the case of ASCII letters.
template <class C>
bool IsSwitch(const C* word, const char* name) {
  std::size_t i = 0;
  for (; name[i] != '\0'; ++i) {
    C c = word[i];
    if (c >= C('A') && c <= C('Z')) c = C(c - C('A') + C('a'));
    if (c != C(static_cast<unsigned char>(name[i]))) return false;
  }
  return word[i] == C(0);
}

// Pops switches until the first other word, which is the program path; the entry after it, when
// there is one, is the working directory. Entries below it stay on the stack. A switch whose
// values the stack no longer holds leaves them empty. Where memory runs out, outOfMemory is set.
template <class C>
RunAsArgs<C> ParseRunAsArgs(BasicFrame<C>& frame) {
  RunAsArgs<C> args;
  BasicArg<C> word(frame);
  auto keep = [&args](typename RunAsArgs<C>::Text* into, const C* text) {
    if (!into->Assign(text)) args.outOfMemory = true;
  };
  auto take = [&frame, &args, &keep](typename RunAsArgs<C>::Text* into) {
    BasicArg<C> value(frame);
    if (value.data() == nullptr)
      args.outOfMemory = true;
    else if (PopArg(frame, value))
      keep(into, value.c_str());
  };
  if (word.data() == nullptr) args.outOfMemory = true;
  // Out of memory, parsing stops where it is: the call is refused as a whole.
  while (!args.outOfMemory && PopArg(frame, word)) {
    const C* w = word.c_str();
    if (IsSwitch(w, "/header")) {
      take(&args.customAccountText);
      take(&args.currentUserText);
    } else if (IsSwitch(w, "/pwd")) {
      take(&args.passwordLabel);
    } else if (IsSwitch(w, "/next")) {
      take(&args.nextText);
    } else if (IsSwitch(w, "/user")) {
      take(&args.userLabel);
      take(&args.userDefault);
    } else if (IsSwitch(w, "/domain")) {
      take(&args.domainLabel);
      take(&args.domainDefault);
    } else if (IsSwitch(w, "/errors")) {
      take(&args.logonFailureText);
      take(&args.lockedOutText);
      take(&args.otherErrorText);
    } else {
      keep(&args.programPath, w);
      args.hasProgram = true;
      BasicArg<C> directory(frame);
      if (directory.data() == nullptr) args.outOfMemory = true;
      if (PopArg(frame, directory)) {
        keep(&args.workingDirectory, directory.c_str());
        args.hasWorkingDirectory = true;
      }
      break;
    }
  }
  return args;
}

}  // namespace tv
