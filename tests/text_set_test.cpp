// The file list's index of row texts: the duplicate test of a drop must agree byte for
// byte with comparing against every row, however many texts it holds.
#include <gtest/gtest.h>

#include <string>

#include "core/text_set.h"

TEST(TextSet, AnswersAsAByteComparisonWouldAcrossGrowth) {
  TextSet index;
  ASSERT_EQ(1, index.Reserve(2));
  const char* const texts[] = {"C:\\a.txt", "c:\\A.TXT", "C:\\a.txt ", "C:\\a.tx", "", "D:\\dir\\setup.exe"};
  for (const char* text : texts) {
    EXPECT_FALSE(index.Contains(text)) << text;
    ASSERT_EQ(1, index.Add(text)) << text;
    EXPECT_TRUE(index.Contains(text)) << text;
  }
  // Far past the room reserved: the table grows and every text stays found.
  for (int i = 0; i < 5000; ++i) ASSERT_EQ(1, index.Add(("C:\\many\\" + std::to_string(i)).c_str()));
  for (const char* text : texts) EXPECT_TRUE(index.Contains(text)) << text;
  for (int i = 0; i < 5000; ++i) ASSERT_TRUE(index.Contains(("C:\\many\\" + std::to_string(i)).c_str())) << i;
  EXPECT_FALSE(index.Contains("C:\\many\\5000"));
  EXPECT_FALSE(index.Contains("C:\\MANY\\1"));
}

TEST(TextSet, ReserveStartsAnEmptyIndex) {
  TextSet index;
  EXPECT_FALSE(index.Contains("x")) << "an index never reserved holds nothing";
  ASSERT_EQ(1, index.Reserve(0));
  ASSERT_EQ(1, index.Add("x"));
  ASSERT_EQ(1, index.Reserve(10));
  EXPECT_FALSE(index.Contains("x"));
  ASSERT_EQ(1, index.Add("y"));
  EXPECT_TRUE(index.Contains("y"));
}
