#include <gtest/gtest.h>

#include "platform/dynlib.h"

#ifdef _WIN32
constexpr const char* kPresent = "kernel32.dll";
constexpr const char* kSymbol = "GetTickCount";
#else
constexpr const char* kPresent = "libm.so.6";
constexpr const char* kSymbol = "cos";
#endif

TEST(DynamicLibrary, MissingLibraryAndSymbol) {
  tw::DynamicLibrary lib;
  EXPECT_FALSE(lib.Load("libdoes-not-exist-tw.so"));
  EXPECT_EQ(lib.Symbol("x"), nullptr);
  ASSERT_TRUE(lib.Load(std::string("libdoes-not-exist-tw.so:") + kPresent));
  EXPECT_EQ(lib.LoadedName(), kPresent);
  EXPECT_NE(lib.Symbol(kSymbol), nullptr);
  EXPECT_EQ(lib.Symbol("no_such_symbol_tw"), nullptr);
}
