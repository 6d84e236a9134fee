// The owner of an array of objects: every object made is destroyed once, whether the
// array is made again, reset or goes out of scope, and plain fields start at zero.
#include <gtest/gtest.h>

#include "core/object_array.h"
#include "core/growable_block.h"

namespace {

int alive = 0;

struct Counted {
  Counted() { ++alive; }
  ~Counted() { --alive; }
  int number;
  GrowableBlock<char> block;  // an owner inside: what makes the array needed
};

TEST(ObjectArray, EveryObjectMadeIsDestroyedOnce) {
  {
    ObjectArray<Counted> array;
    ASSERT_TRUE(array.Make(5));
    EXPECT_EQ(alive, 5);
    EXPECT_EQ(array.count(), 5u);
    for (size_t k = 0; k < array.count(); ++k) {
      EXPECT_EQ(array[k].number, 0) << k;
      ASSERT_TRUE(array[k].block.Reserve(100 + k));
    }
    ASSERT_TRUE(array.Make(2));
    EXPECT_EQ(alive, 2) << "made again: the earlier objects are gone";
    array.Reset();
    EXPECT_EQ(alive, 0);
    EXPECT_EQ(array.count(), 0u);
    ASSERT_TRUE(array.Make(3));
  }
  EXPECT_EQ(alive, 0) << "out of scope";
  ObjectArray<Counted> tooMany;
  EXPECT_FALSE(tooMany.Make(SIZE_MAX / sizeof(Counted)));
  EXPECT_EQ(alive, 0);
}

}  // namespace
