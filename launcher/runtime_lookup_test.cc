#include "launcher/runtime_lookup.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>

#include "platform/fake_platform.h"
#include "platform/win32_api.h"

namespace launcher {
namespace {

using platform::FakePlatform;
using Hive = FakePlatform::Hive;
using ::testing::ElementsAre;

constexpr char16_t kKey17[] =
    u"Software\\JavaSoft\\Java Runtime Environment\\1.7";
constexpr char16_t kKey18[] =
    u"Software\\JavaSoft\\Java Runtime Environment\\1.8";

// The lookup's home when it ends without a read error.
AnsiString Lookup(FakePlatform& fake) {
  RegistryReadError error = RegistryReadError::FailedToGetData;
  AnsiString home = FindRegisteredRuntimeHome(fake, &error);
  EXPECT_EQ(error, RegistryReadError::None);
  return home;
}

TEST(ProbeMaskTest, NarrowRightsPlusTheViewBits) {
  EXPECT_EQ(ProbeMask(RegistryView::Bit64), 0x20109u);
  EXPECT_EQ(ProbeMask(RegistryView::Default), 0x20009u);
  EXPECT_EQ(static_cast<std::uint32_t>(RegistryView::Bit64), 0x20119u);
  EXPECT_EQ(static_cast<std::uint32_t>(RegistryView::Default), 0x20019u);
}

TEST(FindRegisteredRuntimeHomeTest, ChoosesTheViewLikeA32BitProcess) {
  struct Case {
    const char* name;
    FakePlatform::Windows windows;
    std::function<void(FakePlatform&)> registry;
    AnsiString expected;
  };
  const Case cases[] = {
      {"nothing registered", FakePlatform::Windows::Bits64,
       [](FakePlatform&) {}, ""},
      {"32-bit runtime only", FakePlatform::Windows::Bits64,
       [](FakePlatform& f) {
         f.SetString(Hive::Wow32, kKey17, u"JavaHome", u"C:\\Java32\\jre7");
       },
       "C:\\Java32\\jre7"},
      {"64-bit runtime only", FakePlatform::Windows::Bits64,
       [](FakePlatform& f) {
         f.SetString(Hive::Native64, kKey17, u"JavaHome", u"C:\\Java64\\jre7");
       },
       "C:\\Java64\\jre7"},
      {"both views: the 64-bit one wins", FakePlatform::Windows::Bits64,
       [](FakePlatform& f) {
         f.SetString(Hive::Native64, kKey17, u"JavaHome", u"C:\\Java64\\jre7");
         f.SetString(Hive::Wow32, kKey17, u"JavaHome", u"C:\\Java32\\jre7");
       },
       "C:\\Java64\\jre7"},
      {"64-bit key without JavaHome hides the 32-bit one",
       FakePlatform::Windows::Bits64,
       [](FakePlatform& f) {
         f.AddKey(Hive::Native64, kKey17);
         f.SetString(Hive::Wow32, kKey17, u"JavaHome", u"C:\\Java32\\jre7");
       },
       ""},
      {"64-bit JavaHome empty hides the 32-bit one",
       FakePlatform::Windows::Bits64,
       [](FakePlatform& f) {
         f.SetValue(Hive::Native64, kKey17, u"JavaHome", REG_SZ, {});
         f.SetString(Hive::Wow32, kKey17, u"JavaHome", u"C:\\Java32\\jre7");
       },
       ""},
      {"only 1.8 registered", FakePlatform::Windows::Bits64,
       [](FakePlatform& f) {
         f.SetString(Hive::Native64, kKey18, u"JavaHome", u"C:\\jre8");
         f.SetString(Hive::Wow32, kKey18, u"JavaHome", u"C:\\jre8-32");
       },
       ""},
      {"32-bit Windows: one registry", FakePlatform::Windows::Bits32,
       [](FakePlatform& f) {
         f.SetString(FakePlatform::Native, kKey17, u"JavaHome", u"C:\\jre7");
       },
       "C:\\jre7"},
      {"32-bit Windows, only 1.8", FakePlatform::Windows::Bits32,
       [](FakePlatform& f) {
         f.SetString(FakePlatform::Native, kKey18, u"JavaHome", u"C:\\jre8");
       },
       ""},
      {"value name is case-insensitive", FakePlatform::Windows::Bits64,
       [](FakePlatform& f) {
         f.SetString(Hive::Wow32, kKey17, u"JAVAHOME", u"C:\\jre7");
       },
       "C:\\jre7"},
  };
  for (const Case& c : cases) {
    FakePlatform fake(c.windows);
    c.registry(fake);
    EXPECT_EQ(Lookup(fake), c.expected) << c.name;
    EXPECT_EQ(fake.open_registry_keys(), 0) << c.name;
  }
}

TEST(FindRegisteredRuntimeHomeTest, ProbesWithNarrowMaskThenOpensForReading) {
  FakePlatform only32;
  only32.SetString(Hive::Wow32, kKey17, u"JavaHome", u"C:\\jre7");
  Lookup(only32);
  EXPECT_THAT(only32.registry_open_masks,
              ElementsAre(0x20109u, 0x20009u, 0x20019u));

  FakePlatform only64;
  only64.SetString(Hive::Native64, kKey17, u"JavaHome", u"C:\\jre7");
  Lookup(only64);
  EXPECT_THAT(only64.registry_open_masks, ElementsAre(0x20109u, 0x20119u));
}

TEST(FindRegisteredRuntimeHomeTest, FailedOpenAfterProbeGivesEmptyResult) {
  FakePlatform fake;
  fake.SetString(Hive::Native64, kKey17, u"JavaHome", u"C:\\Java64");
  fake.SetString(Hive::Wow32, kKey17, u"JavaHome", u"C:\\Java32");
  fake.registry_open_failing_mask = 0x20119u;
  fake.registry_open_error = ERROR_ACCESS_DENIED;
  EXPECT_EQ(Lookup(fake), "");
  // The 64-bit view had the key: the default view is not consulted.
  EXPECT_THAT(fake.registry_open_masks, ElementsAre(0x20109u, 0x20119u));
}

TEST(FindRegisteredRuntimeHomeTest, DeniedProbeCountsAsAbsentKey) {
  FakePlatform fake;
  fake.SetString(Hive::Native64, kKey17, u"JavaHome", u"C:\\Java64");
  fake.SetString(Hive::Wow32, kKey17, u"JavaHome", u"C:\\Java32");
  fake.registry_open_failing_mask = 0x20109u;
  fake.registry_open_error = ERROR_ACCESS_DENIED;
  EXPECT_EQ(Lookup(fake), "C:\\Java32");
}

std::vector<std::uint8_t> Utf16Bytes(const UnicodeString& text) {
  return FakePlatform::Bytes(text);
}

TEST(FindRegisteredRuntimeHomeTest, DecodesTheValueText) {
  struct Case {
    const char* name;
    std::uint32_t type;
    std::vector<std::uint8_t> data;
    AnsiString expected;
  };
  std::vector<std::uint8_t> odd = Utf16Bytes(u"C:\\jre7");
  odd.push_back('X');
  std::vector<std::uint8_t> odd_after_nul =
      Utf16Bytes(UnicodeString(u"C:\\a\0", 5));
  odd_after_nul.push_back('Y');
  const Case cases[] = {
      {"REG_SZ", REG_SZ, Utf16Bytes(UnicodeString(u"C:\\jre7\0", 8)),
       "C:\\jre7"},
      {"REG_EXPAND_SZ stays unexpanded", REG_EXPAND_SZ,
       Utf16Bytes(UnicodeString(u"%ProgramFiles%\\Java\\jre7\0", 25)),
       "%ProgramFiles%\\Java\\jre7"},
      {"text, NUL, garbage", REG_SZ,
       Utf16Bytes(UnicodeString(u"C:\\jre7\0garbage\0", 16)), "C:\\jre7"},
      {"no terminating NUL", REG_SZ, Utf16Bytes(u"C:\\jre7"), "C:\\jre7"},
      {"odd byte count", REG_SZ, odd, "C:\\jre7"},
      {"odd byte count after a NUL", REG_SZ, odd_after_nul, "C:\\a"},
      {"a single byte", REG_SZ, {'C'}, ""},
      {"size 0", REG_SZ, {}, ""},
      {"size 0 of another type", REG_DWORD, {}, ""},
      {"only a NUL", REG_SZ, {0, 0}, ""},
      {"trailing backslash kept", REG_SZ,
       Utf16Bytes(UnicodeString(u"C:\\jre7\\\0", 9)), "C:\\jre7\\"},
      {"blanks kept", REG_SZ,
       Utf16Bytes(UnicodeString(u"C:\\Program Files\\Java\\jre7\0", 27)),
       "C:\\Program Files\\Java\\jre7"},
      {"character outside the code page", REG_SZ,
       Utf16Bytes(UnicodeString(u"C:\\a\u2215b\0", 7)), "C:\\a?b"},
  };
  for (const Case& c : cases) {
    FakePlatform fake;
    fake.SetValue(Hive::Wow32, kKey17, u"JavaHome", c.type, c.data);
    EXPECT_EQ(Lookup(fake), c.expected) << c.name;
    EXPECT_EQ(fake.open_registry_keys(), 0) << c.name;
  }
}

TEST(FindRegisteredRuntimeHomeTest, ReadErrorsCarryTheirMessage) {
  struct Case {
    const char* name;
    std::uint32_t type;
    std::int32_t read_error;
    std::size_t growth;
    const char* message;
  };
  const Case cases[] = {
      {"REG_DWORD", REG_DWORD, 0, 0, "Invalid data type for 'JavaHome'"},
      {"REG_BINARY", REG_BINARY, 0, 0, "Invalid data type for 'JavaHome'"},
      {"REG_MULTI_SZ", REG_MULTI_SZ, 0, 0, "Invalid data type for 'JavaHome'"},
      {"REG_NONE", REG_NONE, 0, 0, "Invalid data type for 'JavaHome'"},
      {"second read fails", REG_SZ, ERROR_ACCESS_DENIED, 0,
       "Failed to get data for 'JavaHome'"},
      {"value grew between the reads", REG_SZ, 0, 6,
       "Failed to get data for 'JavaHome'"},
      {"second read fails on a DWORD", REG_DWORD, ERROR_ACCESS_DENIED, 0,
       "Failed to get data for 'JavaHome'"},
  };
  for (const Case& c : cases) {
    FakePlatform fake;
    fake.SetValue(Hive::Native64, kKey17, u"JavaHome", c.type, {1, 0, 0, 0});
    fake.value_read_error = c.read_error;
    fake.value_growth = c.growth;
    RegistryReadError error = RegistryReadError::None;
    EXPECT_EQ(FindRegisteredRuntimeHome(fake, &error), "") << c.name;
    ASSERT_NE(error, RegistryReadError::None) << c.name;
    EXPECT_EQ(RegistryReadErrorMessage(fake, error, JavaHome), c.message)
        << c.name;
    // The key is closed on the way out of the error too.
    EXPECT_EQ(fake.open_registry_keys(), 0) << c.name;
  }
}

}  // namespace
}  // namespace launcher
