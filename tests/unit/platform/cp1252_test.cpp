#include <gtest/gtest.h>

#include "platform/cp1252.h"

TEST(Cp1252, RoundTripsEveryAssignedByte) {
  for (int c = 1; c < 256; ++c) {
    if (c == 0x81 || c == 0x8D || c == 0x8F || c == 0x90 || c == 0x9D) continue;
    std::string one(1, static_cast<char>(c));
    EXPECT_EQ(tw::Utf8ToCp1252(tw::Cp1252ToUtf8(one)), one) << c;
  }
}

TEST(Cp1252, KnownCharacters) {
  EXPECT_EQ(tw::Utf8ToCp1252("\xC2\xB5"), "\xB5");      // µ
  EXPECT_EQ(tw::Utf8ToCp1252("\xE2\x82\xAC"), "\x80");  // €
  EXPECT_EQ(tw::Utf8ToCp1252("\xE4\xB8\xAD"), "?");     // no Windows-1252 form
  EXPECT_EQ(tw::Cp1252ToUtf8("\xFC"), "\xC3\xBC");      // ü
  EXPECT_EQ(tw::Utf8ToCp1252("\xFF"), "\xFF");          // malformed UTF-8 kept as Latin-1
  EXPECT_EQ(tw::Cp1252Upper("hitag \xB5 \xFC"), "HITAG \xB5 \xDC");
}
