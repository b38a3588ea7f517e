#include "kelcore/utility/ref_counted_object.h"

#include <thread>
#include <vector>

#include <gtest/gtest.h>
#include <boost/intrusive_ptr.hpp>

namespace kelcore::utility {
namespace {

class Counted : public RefCountedObject {
 public:
  explicit Counted(int& destroyed, bool resurrect = false)
      : destroyed_(destroyed), resurrect_(resurrect) {}
  ~Counted() override {
    ++destroyed_;
    if (resurrect_) boost::intrusive_ptr<Counted> again(this);  // back to 1, then 0
  }
  void BecomeImmortal() { MakeImmortal(); }

 private:
  int& destroyed_;
  bool resurrect_;
};

// References are taken and dropped on many threads at once, and through the
// virtual base.
TEST(RefCountedObjectTest, TheLastReferenceDestroysTheObjectOnce) {
  int destroyed = 0;
  boost::intrusive_ptr<Counted> a(new Counted(destroyed));
  boost::intrusive_ptr<RefCountedInterface> b = a;
  EXPECT_EQ(a->UseCount(), 2u);
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([a] {
      for (int i = 0; i < 10000; ++i) boost::intrusive_ptr<Counted> copy = a;
    });
  }
  for (auto& t : threads) t.join();
  b.reset();
  EXPECT_EQ(a->UseCount(), 1u);
  EXPECT_EQ(destroyed, 0);
  a.reset();
  EXPECT_EQ(destroyed, 1);

  // A destructor that takes and drops a reference must not destroy again.
  boost::intrusive_ptr<Counted> c(new Counted(destroyed, /*resurrect=*/true));
  c.reset();
  EXPECT_EQ(destroyed, 2);
}

TEST(RefCountedObjectTest, AnImmortalObjectOutlivesItsReferences) {
  int destroyed = 0;
  {
    Counted onStack(destroyed);  // deleting it through the count would crash
    onStack.BecomeImmortal();
    boost::intrusive_ptr<Counted>(&onStack).reset();
    EXPECT_EQ(destroyed, 0);
  }
  EXPECT_EQ(destroyed, 1);  // its own scope ended
}

}  // namespace
}  // namespace kelcore::utility
