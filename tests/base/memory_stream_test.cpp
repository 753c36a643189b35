#include <gtest/gtest.h>

#include "base/stream.h"

namespace vt {
namespace {

TEST(MemoryStream, GrowsOnWriteAndReadsBackAfterSeek) {
  TMemoryStream s;
  const uint8_t a[5] = {1, 2, 3, 4, 5};
  s.WriteBuffer(a, 5);
  s.Seek(10, soBeginning);
  s.WriteBuffer(a, 2);  // writing past the end zero-fills the gap
  EXPECT_EQ(s.GetSize(), 12);
  s.SetPosition(3);
  uint8_t b[12] = {};
  EXPECT_EQ(s.Read(b, 12), 9);
  EXPECT_EQ(b[0], 4);
  EXPECT_EQ(b[2], 0);
  EXPECT_EQ(b[7], 1);
  EXPECT_EQ(s.Read(b, 1), 0);
  EXPECT_THROW(s.ReadBuffer(b, 1), EReadError);
}

TEST(MemoryStream, TempStreamReadsForeignMemoryAndRefusesWrites) {
  const uint8_t data[4] = {9, 8, 7, 6};
  TTempMemoryStream t;
  t.SetPointer(data, 4);
  EXPECT_EQ(t.Seek(-2, soEnd), 2);
  uint8_t b[4] = {};
  EXPECT_EQ(t.Read(b, 4), 2);
  EXPECT_EQ(b[0], 7);
  EXPECT_EQ(t.Write(b, 1), 0);
  EXPECT_EQ(t.Seek(-10, soCurrent), 0);
}

}  // namespace
}  // namespace vt
