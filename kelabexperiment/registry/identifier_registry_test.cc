#include "registry/identifier_registry.h"

#include <atomic>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "testsupport/error_of.h"

namespace kelabexperiment {
namespace {

using ::testing::HasSubstr;

UTF8String T(std::string_view text) { return kelcore::string::FromStd(text); }
ImmutableString Id(std::string_view text) { return ImmutableString::Create(T(text)); }
std::string S(const UTF8String& text) { return kelcore::string::ToStd(text); }

TEST(IdentifierRegistryTest, KeepsEachExperimentOnceWithItsTextsInHandleOrder) {
  // Interned here, so handle order is this order, not alphabetical.
  const std::string texts[] = {"RegOrder.zeta", "RegOrder.Alpha", "RegOrder.caf\xC3\xA9",
                               "RegOrder.b"};
  const std::string uppers[] = {"REGORDER.ZETA", "REGORDER.ALPHA", "REGORDER.CAF\xC3\xA9",
                                "REGORDER.B"};
  std::vector<ImmutableString> ids;
  for (const auto& text : texts) ids.push_back(Id(text));

  IdentifierRegistry registry;
  for (const std::size_t i : {2, 0, 1, 2, 0}) registry.RegisterExperiment(ids[i]);
  const IdentifierRegistry::ExperimentList before = registry.ListExperiments();
  registry.RegisterExperiment(ids[3]);

  ASSERT_EQ(before.size(), 3u);  // a list is taken at its call
  const IdentifierRegistry::ExperimentList list = registry.ListExperiments();
  ASSERT_EQ(list.size(), 4u);
  for (std::size_t i = 0; i < list.size(); ++i) {
    EXPECT_EQ(list[i]->id, ids[i]) << i;
    EXPECT_EQ(S(list[i]->text), texts[i]);
    EXPECT_EQ(S(list[i]->upperText), uppers[i]);
    if (i < before.size()) {
      EXPECT_EQ(before[i], list[i]);  // the same kept entry
    }
  }
  EXPECT_EQ(registry.CopyExperiments(), ImmutableStringSet(ids.begin(), ids.end()));
  EXPECT_TRUE(registry.CopyMessaging().empty());
}

TEST(IdentifierRegistryTest, FindsByExactBytesOrTheLowestHandleIgnoringCase) {
  const ImmutableString lower = Id("RegCase.exp");
  const ImmutableString upper = Id("RegCase.EXP");
  const ImmutableString mixed = Id("RegCase.Exp");
  const ImmutableString other = Id("RegCase.other");

  // Registered highest handle first: each later one takes over the folded text.
  IdentifierRegistry registry;
  for (const auto& id : {other, mixed, upper, lower}) registry.RegisterExperiment(id);
  // Registered lowest handle first: it keeps the folded text.
  IdentifierRegistry lowestFirst;
  for (const auto& id : {lower, mixed, upper}) lowestFirst.RegisterExperiment(id);

  const auto idOf = [](const IdentifierRegistry::Experiment* found) {
    return found ? S(found->text) : std::string("(none)");
  };
  for (const IdentifierRegistry* r : {&registry, &lowestFirst}) {
    EXPECT_EQ(idOf(r->FindExperiment("RegCase.EXP")), "RegCase.EXP");
    EXPECT_EQ(idOf(r->FindExperiment("RegCase.Exp")), "RegCase.Exp");
    EXPECT_EQ(idOf(r->FindExperiment("RegCase.eXp")), "(none)");
    EXPECT_EQ(idOf(r->FindExperiment("RegCase.ex")), "(none)");
    EXPECT_EQ(idOf(r->FindExperiment("")), "(none)");
    EXPECT_EQ(idOf(r->FindExperimentIgnoringCase("regcase.eXP")), "RegCase.exp");
    EXPECT_EQ(idOf(r->FindExperimentIgnoringCase("REGCASE.EXPX")), "(none)");
  }
  EXPECT_EQ(registry.FindExperiment("RegCase.exp")->id, lower);
  EXPECT_EQ(idOf(registry.FindExperimentIgnoringCase("REGCASE.OTHER")), "RegCase.other");
}

TEST(IdentifierRegistryTest, RefusesAnIdentifierThatIsNotUTF8AndKeepsTheRest) {
  const ImmutableString good = Id("RegBad.good");
  IdentifierRegistry registry;
  registry.RegisterExperiment(good);
  for (const char* bad : {"RegBad.\xFF", "RegBad.\xED\xA0\x80"}) {
    EXPECT_THAT(testsupport::ErrorOf<InvalidExperimentIdentifierError>(
                    [&] { registry.RegisterExperiment(Id(bad)); }),
                HasSubstr("\"RegBad.\\xEF\\xBF\\xBD"));
  }
  EXPECT_THAT(testsupport::ErrorOf<InvalidExperimentIdentifierError>(
                  [&] { registry.RegisterExperiment(Id("RegBad.\xC3")); }),
              HasSubstr(R"(experiment identifier "RegBad.\xEF\xBF\xBD" is not valid UTF-8)"));
  EXPECT_EQ(registry.CopyExperiments(), ImmutableStringSet({good}));
  ASSERT_EQ(registry.ListExperiments().size(), 1u);
  EXPECT_EQ(registry.FindExperiment("RegBad.\xEF\xBF\xBD"), nullptr);
  EXPECT_EQ(registry.FindExperimentIgnoringCase("regbad.\xEF\xBF\xBD"), nullptr);
}

// Readers take the lock only for the list: the entries they then read must
// be whole and in place while another thread registers more.
TEST(IdentifierRegistryTest, AListTakenWhileAnotherThreadRegistersHoldsWholeEntries) {
  std::vector<ImmutableString> ids;
  std::map<std::uint64_t, std::string> textByHandle;
  for (int i = 0; i < 300; ++i) {
    const std::string text = "RegThreads." + std::to_string(i) + std::string(i % 40, 'x');
    ids.push_back(Id(text));
    textByHandle[ids.back().Handle()] = text;
  }
  IdentifierRegistry registry;
  std::atomic<bool> done{false};
  std::thread writer([&] {
    for (auto it = ids.rbegin(); it != ids.rend(); ++it) registry.RegisterExperiment(*it);
    done = true;
  });
  std::size_t bad = 0, lists = 0;
  for (bool last = false; !last; ++lists) {
    last = done.load();
    const IdentifierRegistry::ExperimentList list = registry.ListExperiments();
    for (std::size_t i = 0; i < list.size(); ++i) {
      if (S(list[i]->text) != textByHandle[list[i]->id.Handle()]) ++bad;
      if (i > 0 && !(list[i - 1]->id < list[i]->id)) ++bad;
    }
    if (last) {
      EXPECT_EQ(list.size(), ids.size());
    }
  }
  writer.join();
  EXPECT_EQ(bad, 0u) << "in " << lists << " lists";
}

}  // namespace
}  // namespace kelabexperiment
