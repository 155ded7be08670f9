// The running-programs page's options, its column widths and the text that its "Copy List" puts
// on the clipboard. No Windows headers: unit-tested natively on the stack operations of the frame.
#pragma once
#include <cstdint>

#include "frame/buffer.h"
#include "frame/stack.h"
#include "runas/runas_args.h"  // IsSwitch

namespace tv {

// ---- options

enum PageText : std::uint8_t {
  kHeadingText,
  kNoProgramsText,
  kSearchingText,
  kEndSearchText,
  kEndMonitorText,
  kNextText,  // "/ignore", "/autoclose" or "/autoclosesilent"
  kManualCloseText,
  kCloseQuestionText,
  kKillQuestionText,
  kFirstColumnText,
  kSecondColumnText,
  kCloseMenuText,
  kCopyMenuText,
  kCallbackText,
  kProgressText,
  kCheckBoxText,
  kServiceMenuText,
  kStopCaptionText,
  kPageTextCount
};

// What a text falls back to when it is not given (and, for some, when it is given empty).
inline const char* PageTextDefault(PageText which) {
  switch (which) {
    case kHeadingText: return "Please close the following programs before continuing with setup...";
    case kNoProgramsText: return "No programs that have to be closed are running";
    case kSearchingText: return "Searching, please wait...";
    case kEndSearchText: return "Cancelling search, please wait...";
    case kEndMonitorText: return "Ending program monitoring, please wait...";
    case kManualCloseText:
      return "Not all processes appear to be closed.\r\nPlease close them manually to proceed with setup.";
    case kCloseQuestionText:
      return "To continue with setup, the listed processes must be closed.\r\nWould you like to close them now?";
    case kKillQuestionText:
      return "Some processes could not be closed safely.\r\nWould you like to kill them?\r\n\r\nWARNING: Any unsaved "
             "data will be lost!";
    case kFirstColumnText: return "Application";
    case kSecondColumnText: return "Process";
    case kCloseMenuText: return "&Close";
    case kCopyMenuText: return "Copy &List";
    case kProgressText: return "Close the following programs, or click on next to kill the processes.";
    case kCheckBoxText: return "&Automatically close the listed applications";
    case kServiceMenuText: return "&Stop this service";
    case kStopCaptionText: return "Stopping the service: %s";
    default: return "";
  }
}

// Texts that fall back to their default also when they are given empty.
inline bool EmptyMeansDefault(PageText which) {
  return which == kFirstColumnText || which == kSecondColumnText || which == kManualCloseText ||
         which == kCloseQuestionText || which == kKillQuestionText;
}

// The texts that "/default NAME TEXT" sets, by NAME (compared without regard to case).
inline bool PageTextNamed(const char* name, PageText* which) {
  static const char* const kNames[] = {"heading", "noprograms", "searching", "endsearch", "endmonitor", "",
                                       "closemanually", "closequestion", "killquestion", "column1", "column2",
                                       "close", "copy", "", "progress", "forcetext", "service",
                                       "captionservicestop"};
  static_assert(sizeof(kNames) / sizeof(kNames[0]) == kPageTextCount, "a name for every text");
  for (int i = 0; i < kPageTextCount; ++i) {
    const char* a = kNames[i];
    const char* b = name;
    while (*a != '\0' && (*a == *b || *a == (*b | 0x20))) ++a, ++b;
    if (*a == '\0' && *b == '\0' && kNames[i][0] != '\0') {
      *which = static_cast<PageText>(i);
      return true;
    }
  }
  return false;
}

template <class C>
struct PageOptions {
  using Text = BasicText<C>;
  Text text[kPageTextCount];
  bool given[kPageTextCount] = {};
  Text fallback[kPageTextCount];  // "/default": what stands in for the built-in default
  int autoCloseMode = 0;  // 0 none, 1 "/autoclose" (with questions), 2 "/autoclosesilent"
  bool saveNextText = false;  // "/ignore": the Next button's own text is put back afterwards
  bool userIcons = false;
  bool autoNext = false;
  int ignoreButtonId = 0;
  bool hasCaption = false;  // "/caption": the installer window's title, set at once
  Text caption;
  bool outOfMemory = false;

  // The text to show: the one given, else the default.
  const C* Get(PageText which) const { return text[which].c_str(); }
  bool Given(PageText which) const { return given[which]; }
  // The Next text of "/ignore", "/autoclose" or "/autoclosesilent", given and not empty.
  bool HasNextText() const { return given[kNextText] && !text[kNextText].empty(); }
  // The page's script function from "/cbaddress": the installer's index of the function (its
  // address less one); -1 when none was given, or when the text is no address that the
  // installer's GetFunctionAddress can give (the page then refuses to start).
  int ScriptFunction() const { return given[kCallbackText] ? FunctionIndexOf(text[kCallbackText].c_str()) : -1; }
  bool ScriptFunctionValid() const { return !given[kCallbackText] || ScriptFunction() >= 0; }
};

// The switches that take texts from the stack, and the texts each takes, in the order the stack
// holds them.
struct TextSwitch {
  const char* name;
  std::uint8_t count;
  PageText texts[4];
};
inline constexpr TextSwitch kTextSwitches[] = {
    {"/heading", 1, {kHeadingText}},
    {"/progress", 1, {kProgressText}},
    {"/forcetext", 1, {kCheckBoxText}},
    {"/searching", 1, {kSearchingText}},
    {"/endsearch", 1, {kEndSearchText}},
    {"/endmonitor", 1, {kEndMonitorText}},
    {"/noprograms", 1, {kNoProgramsText}},
    {"/captionservicestop", 1, {kStopCaptionText}},
    {"/menuitems", 2, {kCloseMenuText, kCopyMenuText}},
    {"/menuitemsservice", 1, {kServiceMenuText}},
    {"/colheadings", 2, {kFirstColumnText, kSecondColumnText}},
    {"/cbaddress", 1, {kCallbackText}},
    {"/ignore", 1, {kNextText}},
    {"/autoclose", 4, {kCloseQuestionText, kKillQuestionText, kManualCloseText, kNextText}},
    {"/autoclosesilent", 2, {kManualCloseText, kNextText}},
};

template <class C>
const TextSwitch* FindTextSwitch(const C* word) {
  for (const TextSwitch& textSwitch : kTextSwitches)
    if (IsSwitch(word, textSwitch.name)) return &textSwitch;
  return nullptr;
}

// Pops switches until the first word that is none, which is pushed back: the script may keep
// its own values below the options. Then every text that was not given takes its default.
template <class C>
void ParsePageOptions(BasicFrame<C>& frame, PageOptions<C>& options) {
  BasicArg<C> word(frame);
  auto takeInto = [&frame, &options](BasicText<C>& into) {
    BasicArg<C> value(frame);
    if (value.data() == nullptr) {
      options.outOfMemory = true;
      return;
    }
    // A text the stack no longer holds is empty.
    if (!PopArg(frame, value)) value.data()[0] = C(0);
    if (!into.Assign(value.c_str())) options.outOfMemory = true;
  };
  if (word.data() == nullptr) options.outOfMemory = true;
  while (!options.outOfMemory && PopArg(frame, word)) {
    const C* w = word.c_str();
    if (const TextSwitch* textSwitch = FindTextSwitch(w)) {
      for (std::size_t i = 0; i < textSwitch->count; ++i) {
        options.given[textSwitch->texts[i]] = true;
        takeInto(options.text[textSwitch->texts[i]]);
      }
      // Three of them set an option as well.
      if (IsSwitch(w, "/ignore")) options.saveNextText = true;
      if (IsSwitch(w, "/autoclose")) options.autoCloseMode = 1;
      if (IsSwitch(w, "/autoclosesilent")) options.autoCloseMode = 2;
    } else if (IsSwitch(w, "/caption")) {
      options.hasCaption = true;
      takeInto(options.caption);
    } else if (IsSwitch(w, "/usericons")) {
      options.userIcons = true;
    } else if (IsSwitch(w, "/autonext")) {
      options.autoNext = true;
    } else if (IsSwitch(w, "/ignorebtn")) {
      options.ignoreButtonId = frame.popint();
    } else if (IsSwitch(w, "/default")) {
      // The name, then the text; a name that is no text's takes its text all the same.
      BasicText<C> name;
      takeInto(name);
      char ascii[24] = {};
      for (std::size_t i = 0; i + 1 < sizeof ascii && i < name.size(); ++i) {
        C c = name.c_str()[i];
        ascii[i] = c > C(0) && c <= C(127) ? static_cast<char>(c) : '?';
      }
      PageText which;
      BasicText<C> unused;
      takeInto(name.size() < sizeof ascii && PageTextNamed(ascii, &which) ? options.fallback[which] : unused);
    } else {
      frame.pushstring(w);
      break;
    }
  }
  for (int i = 0; i < kPageTextCount && !options.outOfMemory; ++i) {
    auto which = static_cast<PageText>(i);
    if (options.given[i] && !(EmptyMeansDefault(which) && options.text[i].empty())) continue;
    BasicText<C>& t = options.text[i];
    if (!options.fallback[i].empty()) {
      if (!t.Assign(options.fallback[i].c_str())) options.outOfMemory = true;
      continue;
    }
    const char* fallback = PageTextDefault(which);
    if (!t.Resize(0)) options.outOfMemory = true;
    for (const char* p = fallback; *p != '\0' && !options.outOfMemory; ++p)
      if (!t.Append(C(static_cast<unsigned char>(*p)))) options.outOfMemory = true;
  }
}

// ---- the list's columns

struct ColumnWidths {
  int first;
  int second;
};

// The two columns share the list's client width less a vertical scroll bar, two thirds and one
// third, each a pixel narrower.
inline ColumnWidths PageColumnWidths(int clientWidth, int scrollBarWidth) {
  int third = (clientWidth - scrollBarWidth) / 3;
  return {2 * third - 1, third - 1};
}

// ---- "Copy List"

template <class C>
struct CopyRow {
  const C* first;   // the first column's text
  const C* second;  // the second column's; a row whose second column is empty is not copied
  bool hasId;       // a process row: its id is shown; any other row shows "?"
  std::uint32_t processId;
};

namespace detail {

template <class C>
bool AppendPadded(BasicText<C>* out, const C* text, std::size_t length, std::size_t width) {
  if (!out->Append(text, length)) return false;
  for (; length < width; ++length)
    if (!out->Append(C(' '))) return false;
  return true;
}

template <class C>
bool AppendAscii(BasicText<C>* out, const char* ascii) {
  for (; *ascii != '\0'; ++ascii)
    if (!out->Append(C(static_cast<unsigned char>(*ascii)))) return false;
  return true;
}

template <class C>
std::size_t FormatUnsignedText(std::uint32_t value, C (&digits)[12]) {
  char reversed[12];
  std::size_t n = 0;
  do {
    reversed[n++] = static_cast<char>('0' + value % 10);
    value /= 10;
  } while (value != 0);
  for (std::size_t i = 0; i < n; ++i) digits[i] = C(reversed[n - 1 - i]);
  digits[n] = C(0);
  return n;
}

}  // namespace detail

// The list as text, one line per copied row:
//   "<row from 1, at least 2 wide> [<id or ?, at least 4 wide>] - <first, padded to W> - <second>\r\n"
// with every field left-aligned and W the longest first text of all rows (copied or not). The
// text is as long as what is written: no row's length is bounded. False when memory ran out.
template <class C>
bool BuildCopyList(const CopyRow<C>* rows, std::size_t count, BasicText<C>* out) {
  std::size_t width = 0;
  for (std::size_t i = 0; i < count; ++i) {
    std::size_t n = Length(rows[i].first);
    if (n > width) width = n;
  }
  if (!out->Resize(0)) return false;
  for (std::size_t i = 0; i < count; ++i) {
    const CopyRow<C>& row = rows[i];
    if (row.second[0] == C(0)) continue;
    C number[12];
    std::size_t numberLength = detail::FormatUnsignedText(static_cast<std::uint32_t>(i + 1), number);
    C id[12] = {C('?'), C(0)};
    std::size_t idLength = row.hasId ? detail::FormatUnsignedText(row.processId, id) : 1;
    if (!detail::AppendPadded(out, number, numberLength, 2) || !detail::AppendAscii(out, " [") ||
        !detail::AppendPadded(out, id, idLength, 4) || !detail::AppendAscii(out, "] - ") ||
        !detail::AppendPadded(out, row.first, Length(row.first), width) || !detail::AppendAscii(out, " - ") ||
        !out->Append(row.second) || !detail::AppendAscii(out, "\r\n"))
      return false;
  }
  return true;
}

}  // namespace tv
