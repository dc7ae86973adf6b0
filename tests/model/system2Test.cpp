#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "model/system2.h"
#include "platform/MessagePump.h"

namespace {
// Counts the calls of the message pump while it lives.
class TPumpCounter {
 public:
  TPumpCounter() : FPrevious(SetMessagePumpHook([this] { ++Count; })) {}
  ~TPumpCounter() { SetMessagePumpHook(std::move(FPrevious)); }
  int Take() {
    int c = Count;
    Count = 0;
    return c;
  }
  int Count = 0;

 private:
  TMessagePumpHook FPrevious;
};
}  // namespace

TEST(system2, PosNthCountsOccurrencesWithoutOverlapAndPumpsOncePerPass) {
  TPumpCounter pump;
  EXPECT_EQ(PosNth(0, "ab", "xabyab"), 2);
  EXPECT_EQ(pump.Take(), 1);
  EXPECT_EQ(PosNth(1, "ab", "xabyab"), 5);
  EXPECT_EQ(pump.Take(), 2);
  EXPECT_EQ(PosNth(2, "ab", "xabyab"), 0);
  EXPECT_EQ(pump.Take(), 3);  // a failed search still pumps N+1 times
  EXPECT_EQ(PosNth(-1, "ab", "xabyab"), 0);
  EXPECT_EQ(pump.Take(), 0);
  EXPECT_EQ(PosNth(1, "aa", "aaaa"), 3);
  EXPECT_EQ(PosNth(2, "aa", "aaaaa"), 0);
  EXPECT_EQ(PosNth(0, "", "abc"), 0);
  EXPECT_EQ(PosNth(0, "abc", "ab"), 0);
  EXPECT_EQ(PosNth(3, "|", "|||"), 0);
  EXPECT_EQ(PosNth(2, "|", "|||"), 3);
  pump.Take();
  // A miss early on: the remaining passes pump without searching.
  EXPECT_EQ(PosNth(9, "z", "abc"), 0);
  EXPECT_EQ(pump.Take(), 10);
}

TEST(system2, GetTokenFields) {
  TPumpCounter pump;
  EXPECT_EQ(GetToken("a|b|c", '|', 0), "a");
  EXPECT_EQ(GetToken("a|b|c", '|', 1), "b");
  EXPECT_EQ(GetToken("a|b|c", '|', 2), "c");
  EXPECT_EQ(GetToken("a|b|c", '|', 3), "");
  EXPECT_EQ(GetToken("a|b|c", '|', -1), "a|b|c");
  EXPECT_EQ(GetToken("a|b|c", '|', std::numeric_limits<int>::min()), "a|b|c");
  EXPECT_EQ(GetToken("a||c", '|', 1), "");
  EXPECT_EQ(GetToken("abc", '|', 0), "abc");
  EXPECT_EQ(GetToken("", '|', 0), "");
  EXPECT_EQ(GetToken("|", '|', 0), "");
  EXPECT_EQ(GetToken("|", '|', 1), "");
  EXPECT_EQ(GetToken("a|", '|', 1), "");
  EXPECT_EQ(GetToken("256X128", 'X', 0), "256");
  EXPECT_EQ(GetToken("256X128", 'X', 1), "128");
  EXPECT_EQ(GetToken("/home/u/Male.cvmx|Model-Male", '|', 0), "/home/u/Male.cvmx");
  pump.Take();
  // Field 2 looks for separators 1 and 2: passes 2 + 3.
  GetToken("a|b|c", '|', 2);
  EXPECT_EQ(pump.Take(), 5);
  GetToken("a|b|c", '|', 0);  // PosNth(-1) does not pump, PosNth(0) once
  EXPECT_EQ(pump.Take(), 1);
}

TEST(system2, GetTokenRestIsEverythingAfterTheSeparator) {
  EXPECT_EQ(GetTokenRest("a|b|c", '|', 0), "b|c");
  EXPECT_EQ(GetTokenRest("a|b|c", '|', 1), "c");
  EXPECT_EQ(GetTokenRest("a|b|c", '|', 2), "");
  EXPECT_EQ(GetTokenRest("a|b|c", '|', -1), "");
  EXPECT_EQ(GetTokenRest("a|", '|', 0), "");
  EXPECT_EQ(GetTokenRest("|", '|', 0), "");
  EXPECT_EQ(GetTokenRest("file|Model|Odd", '|', 0), "Model|Odd");
  EXPECT_EQ(GetTokenRest("", '|', 0), "");
}

TEST(system2, SplitStringAppendsEveryFieldAndDoesNotPump) {
  TPumpCounter pump;
  std::vector<std::string> l{"kept"};
  SplitString("a,,b", ",", l);
  EXPECT_EQ(l, (std::vector<std::string>{"kept", "a", "", "b"}));
  l.clear();
  SplitString("a,", ",", l);
  EXPECT_EQ(l, (std::vector<std::string>{"a", ""}));
  l.clear();
  SplitString("", ",", l);
  EXPECT_EQ(l, (std::vector<std::string>{""}));
  l.clear();
  SplitString("abc", "", l);
  EXPECT_TRUE(l.empty());
  SplitString("x<>y<><>z", "<>", l);
  EXPECT_EQ(l, (std::vector<std::string>{"x", "y", "", "z"}));
  l.clear();
  // The appended separator can pair with the text: "aaa" + "aa" splits as "", "", then "a" is left.
  SplitString("aaa", "aa", l);
  EXPECT_EQ(l, (std::vector<std::string>{"", ""}));
  EXPECT_EQ(pump.Count, 0);
}

TEST(system2, Power) {
  EXPECT_EQ(Power(0, -1), 0);
  EXPECT_EQ(Power(0, 0), 0);
  EXPECT_DOUBLE_EQ(Power(1.1, 0), 1);
  EXPECT_NEAR(Power(1.1, 2), 1.21, 1e-12);
  EXPECT_NEAR(Power(1.1, -3), 1 / 1.331, 1e-12);
  EXPECT_NEAR(Power(2, 0.5), std::sqrt(2.0), 1e-15);
  EXPECT_TRUE(std::isnan(Power(-2, 2)));
}

TEST(MessagePump, HookReplacementAndBusyGuard) {
  ProcessMessages();  // no hook installed by default in this suite: nothing happens
  int a = 0;
  TMessagePumpHook old = SetMessagePumpHook([&] { ++a; });
  ProcessMessages();
  TMessagePumpHook mine = SetMessagePumpHook(std::move(old));
  ProcessMessages();
  EXPECT_EQ(a, 1);
  ASSERT_TRUE(static_cast<bool>(mine));
  EXPECT_FALSE(IsBusy());
  {
    TBusyGuard outer;
    {
      TBusyGuard inner;
      EXPECT_TRUE(IsBusy());
    }
    EXPECT_TRUE(IsBusy());
  }
  EXPECT_FALSE(IsBusy());
}
