#include "platform/unique_handles.h"

#include <gtest/gtest.h>

#include <utility>

#include "platform/fake_platform.h"
#include "platform/win32_api.h"

namespace platform {
namespace {

NativeHandle OpenFile(FakePlatform& fake) {
  return fake.CreateFileW(u"C:\\App", GENERIC_READ, FILE_SHARE_READ,
                          OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS);
}

TEST(UniqueHandleTest, ClosesOnceWhateverPathItTakes) {
  FakePlatform fake;
  {
    UniqueHandle first(fake, OpenFile(fake));
    EXPECT_TRUE(first.is_valid());
    UniqueHandle second = std::move(first);
    EXPECT_FALSE(first.is_valid());
    EXPECT_TRUE(second.is_valid());
    UniqueHandle third(fake, OpenFile(fake));
    third = std::move(second);  // closes what third held
    EXPECT_EQ(fake.open_files(), 1);
    *third.put() = OpenFile(fake);  // put() closes the old one first
    EXPECT_EQ(fake.open_files(), 1);
  }
  EXPECT_EQ(fake.open_files(), 0);
}

TEST(UniqueHandleTest, NeitherNullNorInvalidHandleValueIsClosed) {
  FakePlatform fake;  // fails the test on a close of a handle it never gave
  {
    UniqueHandle null_handle(fake, nullptr);
    UniqueHandle invalid(fake, InvalidHandleValue());
    EXPECT_FALSE(null_handle.is_valid());
    EXPECT_FALSE(invalid.is_valid());
  }
  EXPECT_EQ(
      std::count(fake.calls.begin(), fake.calls.end(), "CloseHandle file"), 0);
}

TEST(UniqueHandleTest, ReleaseHandsOverOwnership) {
  FakePlatform fake;
  NativeHandle raw = nullptr;
  {
    UniqueHandle handle(fake, OpenFile(fake));
    raw = handle.release();
  }
  EXPECT_EQ(fake.open_files(), 1);
  EXPECT_TRUE(fake.CloseHandle(raw));
}

TEST(UniqueRegistryKeyTest, ClosesTheKeyItWasGiven) {
  FakePlatform fake;
  fake.AddKey(FakePlatform::Hive::Wow32, u"Software\\X");
  {
    UniqueRegistryKey key(fake);
    ASSERT_EQ(fake.RegOpenKeyExW(RegistryRoot::LocalMachine, u"Software\\X", 0,
                                 KEY_READ, key.put()),
              0);
    EXPECT_TRUE(key.is_valid());
    EXPECT_EQ(fake.open_registry_keys(), 1);
    UniqueRegistryKey moved = std::move(key);
    EXPECT_EQ(fake.open_registry_keys(), 1);
  }
  EXPECT_EQ(fake.open_registry_keys(), 0);
}

TEST(UniqueProcessInformationTest, ClosesProcessThenThread) {
  FakePlatform fake;
  fake.AddFile(u"C:\\App\\run.exe");
  {
    UniqueProcessInformation child(fake);
    ProcessStart start;
    start.command_line = "C:\\App\\run.exe";
    start.current_directory = "C:\\App";
    ASSERT_TRUE(fake.CreateProcessA(start, child.put()));
    EXPECT_TRUE(child.is_valid());
  }
  ASSERT_GE(fake.calls.size(), 2u);
  EXPECT_EQ(fake.calls[fake.calls.size() - 2], "CloseHandle process");
  EXPECT_EQ(fake.calls.back(), "CloseHandle thread");
  EXPECT_EQ(fake.open_handles(), 0);
}

}  // namespace
}  // namespace platform
