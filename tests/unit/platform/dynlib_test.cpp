#include <gtest/gtest.h>

#include "platform/dynlib.h"

TEST(DynamicLibrary, MissingLibraryAndSymbol) {
  tw::DynamicLibrary lib;
  EXPECT_FALSE(lib.Load("libdoes-not-exist-tw.so"));
  EXPECT_EQ(lib.Symbol("x"), nullptr);
  ASSERT_TRUE(lib.Load("libdoes-not-exist-tw.so:libm.so.6"));
  EXPECT_EQ(lib.LoadedName(), "libm.so.6");
  EXPECT_NE(lib.Symbol("cos"), nullptr);
  EXPECT_EQ(lib.Symbol("no_such_symbol_tw"), nullptr);
}
