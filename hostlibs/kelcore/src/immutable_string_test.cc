#include "kelcore/utility/immutable_string.h"

#include <set>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

namespace kelcore::utility {
namespace {

UTF8String Bytes(std::string_view text) { return string::FromStd(text); }

TEST(ImmutableStringTest, EqualTextGivesEqualHandle) {
  const auto a = ImmutableString::Create(Bytes("interning-equal"));
  const auto b = ImmutableString::_PrivateCreateStatic("interning-equal");
  const auto c = ImmutableString::Create(Bytes("interning-other"));
  EXPECT_EQ(a.Handle(), b.Handle());
  EXPECT_EQ(a, b);
  EXPECT_NE(a, c);
  EXPECT_EQ(string::View(a.Text()), "interning-equal");
  EXPECT_EQ(ImmutableString(), ImmutableString::Create(UTF8String()));
}

TEST(ImmutableStringTest, OrderIsFirstInternedNotAlphabetical) {
  const auto zebra = ImmutableString::Create(Bytes("order-zebra"));
  const auto apple = ImmutableString::Create(Bytes("order-apple"));
  EXPECT_LT(zebra.Handle(), apple.Handle());
  std::set<ImmutableString> set{apple, zebra, ImmutableString::Create(Bytes("order-zebra"))};
  ASSERT_EQ(set.size(), 2u);
  EXPECT_EQ(*set.begin(), zebra);
}

TEST(ImmutableStringTest, TextMayHoldAnyBytes) {
  const UTF8String odd = Bytes(std::string("nul\0\xFF", 5));
  const auto s = ImmutableString::Create(odd);
  EXPECT_EQ(s.Text(), odd);
  EXPECT_NE(s, ImmutableString::Create(Bytes("nul")));
  EXPECT_EQ(s.ToString().back(), static_cast<wchar_t>(0xFFFD));
}

TEST(ImmutableStringTest, ConcurrentInterningAgreesOnHandles) {
  constexpr int kThreads = 4;
  constexpr int kTexts = 500;
  std::vector<std::vector<std::uint64_t>> seen(kThreads);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([t, &seen] {
      for (int i = 0; i < kTexts; ++i) {
        const int k = (t % 2 == 0) ? i : kTexts - 1 - i;  // opposite orders race
        seen[t].push_back(ImmutableString::Create(Bytes("race-" + std::to_string(k))).Handle());
      }
      if (t % 2 != 0) std::reverse(seen[t].begin(), seen[t].end());
    });
  }
  for (auto& thread : threads) thread.join();
  for (int t = 1; t < kThreads; ++t) EXPECT_EQ(seen[t], seen[0]);
  EXPECT_EQ(std::set<std::uint64_t>(seen[0].begin(), seen[0].end()).size(),
            static_cast<std::size_t>(kTexts));
}

}  // namespace
}  // namespace kelcore::utility
