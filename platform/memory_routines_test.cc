#include "platform/memory_routines.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>

namespace platform {
namespace {

constexpr std::size_t kBlock = 64;

// A block whose bytes differ from their neighbours and cover the high half.
std::array<unsigned char, kBlock> Pattern() {
  std::array<unsigned char, kBlock> block{};
  for (std::size_t i = 0; i < kBlock; ++i)
    block[i] = static_cast<unsigned char>(i * 37 + 201);
  return block;
}

int Sign(int value) { return (value > 0) - (value < 0); }

TEST(MemoryRoutinesTest, FillMatchesMemset) {
  for (int value : {0, 1, 0x7F, 0x80, 0xFF, -1, 0x1234}) {
    for (std::size_t offset : {0u, 1u, 3u}) {
      for (std::size_t count : {0u, 1u, 7u, 32u}) {
        auto ours = Pattern();
        auto theirs = Pattern();
        EXPECT_EQ(FillBytes(ours.data() + offset, value, count),
                  ours.data() + offset);
        std::memset(theirs.data() + offset, value, count);
        EXPECT_EQ(ours, theirs) << value << " " << offset << " " << count;
      }
    }
  }
}

TEST(MemoryRoutinesTest, CopyMatchesMemcpy) {
  const auto source = Pattern();
  for (std::size_t count : {0u, 1u, 5u, 31u, 64u}) {
    std::array<unsigned char, kBlock> ours{};
    std::array<unsigned char, kBlock> theirs{};
    EXPECT_EQ(CopyBytes(ours.data(), source.data(), count), ours.data());
    std::memcpy(theirs.data(), source.data(), count);
    EXPECT_EQ(ours, theirs) << count;
  }
}

TEST(MemoryRoutinesTest, MoveMatchesMemmoveForEveryOverlap) {
  // Source and destination inside one block, the destination before, on and
  // after the source, overlapping or not.
  for (std::size_t from : {0u, 4u, 10u, 20u}) {
    for (std::size_t to : {0u, 3u, 4u, 5u, 10u, 11u, 30u}) {
      for (std::size_t count : {0u, 1u, 6u, 20u}) {
        auto ours = Pattern();
        auto theirs = Pattern();
        EXPECT_EQ(MoveBytes(ours.data() + to, ours.data() + from, count),
                  ours.data() + to);
        std::memmove(theirs.data() + to, theirs.data() + from, count);
        EXPECT_EQ(ours, theirs) << from << " -> " << to << ", " << count;
      }
    }
  }
}

TEST(MemoryRoutinesTest, CompareHasTheSignOfMemcmp) {
  struct Case {
    const char* left;
    const char* right;
    std::size_t count;
  };
  const Case cases[] = {
      {"abc", "abc", 3},   {"abc", "abd", 3}, {"abd", "abc", 3},
      {"abc", "abd", 2},   {"", "", 0},       {"a\x80", "a\x7f", 2},
      {"\xff", "\x01", 1}, {"x", "y", 0},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Sign(CompareBytes(c.left, c.right, c.count)),
              Sign(std::memcmp(c.left, c.right, c.count)))
        << c.left << " / " << c.right << " / " << c.count;
  }
}

TEST(MemoryRoutinesTest, LengthMatchesStrlen) {
  for (const char* text :
       {"", "a", "Erro", "C:\\App\\molk2014.jar", "\xe3\x80"}) {
    EXPECT_EQ(StringLength(text), std::strlen(text)) << text;
  }
}

}  // namespace
}  // namespace platform
