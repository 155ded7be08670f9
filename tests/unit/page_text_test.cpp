#include "quillmere/page/page_text.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "widths.h"

namespace tv {
extern int g_failAfterAllocs;
}

namespace {

template <class C>
std::string CopyOf(const std::vector<tv::CopyRow<C>>& rows) {
  tv::BasicText<C> text;
  EXPECT_TRUE(tv::BuildCopyList(rows.data(), rows.size(), &text));
  return N(text.c_str());
}

template <class C>
void CheckCopyFormat() {
  auto a = W<C>("Alpha"), b = W<C>("Bravo Charlie"), c = W<C>("Delta Eco"), status = W<C>("");
  auto pa = W<C>("a.exe"), pb = W<C>("b.exe"), pc = W<C>("c.exe");
  // First texts of 5, 12 and 9 characters ("Bravo Charli" is cut to make 12).
  b.resize(12);
  std::vector<tv::CopyRow<C>> rows = {{a.c_str(), pa.c_str(), true, 4242},
                                      {b.c_str(), pb.c_str(), true, 640},
                                      {c.c_str(), pc.c_str(), true, 17}};
  EXPECT_EQ(CopyOf(rows),
            "1  [4242] - Alpha        - a.exe\r\n"
            "2  [640 ] - Bravo Charli - b.exe\r\n"
            "3  [17  ] - Delta Eco    - c.exe\r\n");

  // A custom row shows "?"; a row without second column is skipped but still counts for the
  // row number and for the width; ids of ten digits and row numbers past 9 are whole.
  auto longStatus = W<C>("0% Searching, please wait...");
  auto custom = W<C>("Custom"), detail = W<C>("detail");
  std::vector<tv::CopyRow<C>> mixed = {{custom.c_str(), detail.c_str(), false, 99},
                                       {longStatus.c_str(), status.c_str(), false, 0}};
  for (int i = 0; i < 9; ++i) mixed.push_back({a.c_str(), pa.c_str(), true, 4294967295u});
  std::string copied = CopyOf(mixed);
  EXPECT_EQ(copied.substr(0, copied.find('\n') + 1), "1  [?   ] - Custom                       - detail\r\n");
  EXPECT_NE(copied.find("\r\n3  [4294967295] - Alpha                        - a.exe\r\n"), std::string::npos);
  EXPECT_NE(copied.find("\r\n11 [4294967295] - Alpha"), std::string::npos);
  EXPECT_EQ(copied.find("Searching"), std::string::npos);
  EXPECT_EQ(std::count(copied.begin(), copied.end(), '\n'), 10);

  // Rows whose texts are far longer than an installer's string size are copied whole.
  std::basic_string<C> longFirst(3000, C('x')), longSecond(2500, C('y'));
  std::vector<tv::CopyRow<C>> big = {{longFirst.c_str(), longSecond.c_str(), true, 1},
                                     {a.c_str(), pa.c_str(), true, 2}};
  std::string bigText = CopyOf(big);
  EXPECT_EQ(bigText.size(), (2u + 2 + 4 + 4 + 3000 + 3 + 2500 + 2) + (2u + 2 + 4 + 4 + 3000 + 3 + 5 + 2));
  EXPECT_EQ(bigText.compare(bigText.size() - 10, 10, " - a.exe\r\n"), 0);

  std::vector<tv::CopyRow<C>> none = {{longStatus.c_str(), status.c_str(), false, 0}};
  EXPECT_EQ(CopyOf(none), "");
}

TEST(PageCopyList, FormatAsTheListShowsIt) {
  CheckCopyFormat<char>();
  CheckCopyFormat<wchar_t>();
}

TEST(PageCopyList, OutOfMemoryIsAnAnswer) {
  std::string first(100, 'x');
  std::vector<tv::CopyRow<char>> rows = {{first.c_str(), "p.exe", true, 1}};
  tv::BasicText<char> text;
  tv::g_failAfterAllocs = 1;
  EXPECT_FALSE(tv::BuildCopyList(rows.data(), rows.size(), &text));
  tv::g_failAfterAllocs = -1;
}

// The options a script call with these arguments gives, and what it leaves on the stack.
template <class C>
struct Parsed : tv::PageOptions<C> {
  Script<C> s;
  explicit Parsed(const std::vector<std::string>& args) {
    s.Call(args);
    tv::ParsePageOptions(s.frame, *this);
  }
};

template <class C>
void CheckOptions() {
  {
    Parsed<C> o({"/HEADING", "Close these", "/autonext", "mine", "/heading", "not an option"});
    EXPECT_EQ(N(o.Get(tv::kHeadingText)), "Close these");
    EXPECT_TRUE(o.autoNext);
    EXPECT_EQ(o.s.Left(), (std::vector<std::string>{"mine", "/heading", "not an option"}));
    EXPECT_EQ(N(o.Get(tv::kProgressText)), tv::PageTextDefault(tv::kProgressText));
    EXPECT_FALSE(o.HasNextText());
    EXPECT_EQ(o.autoCloseMode, 0);
  }
  {
    Parsed<C> o({"/autoclose", "", "kill?", "", "Close all", "/colheadings", "", "Image", "/ignorebtn", "0x10",
                 "/cbaddress", "1", "/noprograms", "", "/caption", "Setup", "/usericons", "/menuitems", "Shut"});
    EXPECT_TRUE(o.s.Left().empty());
    EXPECT_EQ(o.autoCloseMode, 1);
    EXPECT_FALSE(o.saveNextText);
    EXPECT_TRUE(o.HasNextText());
    EXPECT_EQ(N(o.Get(tv::kNextText)), "Close all");
    // Empty close texts and column titles fall back; other empty texts stay empty.
    EXPECT_EQ(N(o.Get(tv::kCloseQuestionText)), tv::PageTextDefault(tv::kCloseQuestionText));
    EXPECT_EQ(N(o.Get(tv::kKillQuestionText)), "kill?");
    EXPECT_EQ(N(o.Get(tv::kManualCloseText)), tv::PageTextDefault(tv::kManualCloseText));
    EXPECT_EQ(N(o.Get(tv::kFirstColumnText)), "Application");
    EXPECT_EQ(N(o.Get(tv::kSecondColumnText)), "Image");
    EXPECT_EQ(N(o.Get(tv::kNoProgramsText)), "");
    EXPECT_EQ(o.ignoreButtonId, 16);
    EXPECT_EQ(o.ScriptFunction(), 0);  // the script's first function
    EXPECT_TRUE(o.ScriptFunctionValid());
    EXPECT_TRUE(o.hasCaption);
    EXPECT_EQ(N(o.caption.c_str()), "Setup");
    EXPECT_TRUE(o.userIcons);
    // A switch at the stack's end takes what is there and leaves the rest empty.
    EXPECT_EQ(N(o.Get(tv::kCloseMenuText)), "Shut");
    EXPECT_EQ(N(o.Get(tv::kCopyMenuText)), "");
  }
  {
    Parsed<C> o({"/ignore", "Ignore", "/autoclosesilent", "by hand", "", "/cbaddress", "-4"});
    EXPECT_EQ(o.autoCloseMode, 2);
    EXPECT_TRUE(o.saveNextText);
    EXPECT_FALSE(o.HasNextText());  // the later, empty Next text wins
    EXPECT_EQ(N(o.Get(tv::kManualCloseText)), "by hand");
    EXPECT_EQ(o.ScriptFunction(), -1);
    EXPECT_FALSE(o.ScriptFunctionValid());  // the page refuses to start
  }
  {
    // A language's texts stand in for the defaults: the script's own win wherever it gives them,
    // before or after, and an empty question still falls back, to the language's.
    Parsed<C> o({"/heading", "Mine", "/default", "HEADING", "Bitte", "/default", "closequestion", "Jetzt?",
                 "/autoclose", "", "", "", "Go", "/default", "searching", "Suche", "/default", "nonsense", "x",
                 "/default", "progress", "", "/default", "column1"});
    EXPECT_TRUE(o.s.Left().empty());
    EXPECT_EQ(N(o.Get(tv::kHeadingText)), "Mine");
    EXPECT_EQ(N(o.Get(tv::kCloseQuestionText)), "Jetzt?");
    EXPECT_EQ(N(o.Get(tv::kSearchingText)), "Suche");
    EXPECT_FALSE(o.Given(tv::kSearchingText));  // the first row still shows "0% " before it
    EXPECT_EQ(N(o.Get(tv::kProgressText)), tv::PageTextDefault(tv::kProgressText));
    EXPECT_EQ(N(o.Get(tv::kFirstColumnText)), "Application");
  }
}

TEST(PageOptions, SwitchesThenTheScriptsOwnWords) {
  CheckOptions<char>();
  CheckOptions<wchar_t>();
}

}  // namespace
