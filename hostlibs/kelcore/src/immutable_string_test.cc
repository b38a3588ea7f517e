#include "kelcore/utility/immutable_string.h"

#include <set>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

namespace kelcore::utility {
namespace {

UTF8String Bytes(std::string_view text) { return string::FromStd(text); }

TEST(ImmutableStringTest, EqualTextsShareAHandleNumberedInTheOrderFirstInterned) {
  const auto zebra = ImmutableString::Create(Bytes("order-zebra"));
  const auto apple = ImmutableString::_PrivateCreateStatic("order-apple");
  EXPECT_EQ(ImmutableString::Create(Bytes("order-apple")).Handle(), apple.Handle());
  EXPECT_EQ(string::View(apple.Text()), "order-apple");
  std::set<ImmutableString> set{apple, zebra, ImmutableString::Create(Bytes("order-zebra"))};
  EXPECT_EQ(std::vector<ImmutableString>(set.begin(), set.end()),
            (std::vector<ImmutableString>{zebra, apple}));  // not alphabetical
  EXPECT_EQ(ImmutableString(), ImmutableString::Create(UTF8String()));
  // Any bytes: a NUL is part of the text; ill-formed UTF-8 reads as U+FFFD.
  const UTF8String odd = Bytes(std::string("nul\0\xFF", 5));
  const auto s = ImmutableString::Create(odd);
  EXPECT_EQ(s.Text(), odd);
  EXPECT_NE(s, ImmutableString::Create(Bytes("nul")));
  EXPECT_EQ(s.ToString().back(), static_cast<wchar_t>(0xFFFD));
}

TEST(ImmutableStringTest, ConcurrentInterningAgreesOnHandles) {
  constexpr int kThreads = 4;
  constexpr int kTexts = 500;
  std::vector<std::vector<std::uint64_t>> seen(kThreads, std::vector<std::uint64_t>(kTexts));
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([t, &seen] {
      for (int i = 0; i < kTexts; ++i) {
        const int k = (t % 2 == 0) ? i : kTexts - 1 - i;  // opposite orders race
        seen[t][k] = ImmutableString::Create(Bytes("race-" + std::to_string(k))).Handle();
      }
    });
  }
  for (auto& thread : threads) thread.join();
  for (int t = 1; t < kThreads; ++t) EXPECT_EQ(seen[t], seen[0]);
  EXPECT_EQ(std::set<std::uint64_t>(seen[0].begin(), seen[0].end()).size(),
            static_cast<std::size_t>(kTexts));
}

}  // namespace
}  // namespace kelcore::utility
