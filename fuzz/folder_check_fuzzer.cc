// Fuzzes the check for the local runtime folder: whatever GetFileAttributesW
// answers (any attributes, or a failure with any error code) and however
// opening a reparse point's target ends, the answer is the one the tables
// below give, the target is opened only when they say so, and no handle
// stays open.
//
// Input, little-endian: attributes (4 bytes), the GetFileAttributesW error
// (4 bytes; non-zero makes the call fail with it), the CreateFileW error
// (4 bytes; non-zero makes the open fail with it).
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <string>

#include "fuzz/fuzz_support.h"
#include "launcher/launch_sequence.h"
#include "platform/fake_platform.h"
#include "platform/win32_api.h"

namespace {

// The GetFileAttributesW errors of a path that names nothing: file or path
// not found, drive not ready, network path or share not found, a malformed
// name or path. Any other error means something is there that cannot be
// looked at (access denied, a sharing violation), and counts as present.
constexpr std::uint32_t kNothingThere[] = {2, 3, 21, 53, 67, 123, 161};

// The answer once the attributes are read, from the directory bit, the
// reparse-point bit and whether the target opens; and whether the target is
// opened at all. A link's own attributes say nothing of its target, so only
// a reparse point is opened, and it counts only when that succeeds.
struct Decision {
  bool directory;
  bool reparse_point;
  bool target_opens;
  bool opened;
  bool present;
};
constexpr Decision kDecisions[] = {
    // directory reparse opens  opened present
    {false, false, false, false, false},  // a file
    {false, false, true, false, false},
    {true, false, false, false, true},  // a folder
    {true, false, true, false, true},
    {false, true, false, true, false},  // a link to a file
    {false, true, true, true, false},
    {true, true, false, true, false},  // a dangling or unreachable junction
    {true, true, true, true, true},    // a junction that opens
};

struct Outcome {
  bool present;
  bool opened;
};

Outcome Expected(std::uint32_t attributes, std::uint32_t attributes_error,
                 std::uint32_t open_error) {
  if (attributes_error != 0) {
    const bool nothing =
        std::find(std::begin(kNothingThere), std::end(kNothingThere),
                  attributes_error) != std::end(kNothingThere);
    return {!nothing, false};
  }
  const bool directory = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  const bool reparse_point = (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
  const bool target_opens = open_error == 0;
  const Decision* row = std::find_if(
      std::begin(kDecisions), std::end(kDecisions), [&](const Decision& d) {
        return d.directory == directory && d.reparse_point == reparse_point &&
               d.target_opens == target_opens;
      });
  if (row == std::end(kDecisions))
    fuzz::Fail(__FILE__, __LINE__, "no row of the decision table applies");
  return {row->present, row->opened};
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  fuzz::InputReader input(data, size);
  const std::uint32_t attributes = input.U32();
  const std::uint32_t attributes_error = input.U32();
  const std::uint32_t open_error = input.U32();
  // GetFileAttributesW signals failure with all bits set; it never reports
  // those as the attributes of something that exists.
  if (attributes_error == 0 && attributes == INVALID_FILE_ATTRIBUTES) return 0;

  platform::FakePlatform fake;
  platform::FakePlatform::FileEntry& entry = fake.Entry(u"C:\\App\\Java");
  entry.attributes = attributes;
  entry.attributes_error = attributes_error;
  entry.open_error = open_error;

  const bool exists = launcher::FolderExists(fake, "C:\\App\\Java");
  const Outcome expected = Expected(attributes, attributes_error, open_error);
  const auto opens = std::count(fake.calls.begin(), fake.calls.end(),
                                "CreateFileW c:\\app\\java");
  const platform::AnsiString input_text =
      "attributes " + fuzz::Decimal(attributes) + ", error " +
      fuzz::Decimal(attributes_error) + ", open error " +
      fuzz::Decimal(open_error);
  FUZZ_CHECK(exists == expected.present,
             input_text + ": answered " + (exists ? "present" : "absent"));
  FUZZ_CHECK(opens == (expected.opened ? 1 : 0),
             input_text + ": target opened " +
                 fuzz::Decimal(static_cast<std::uint32_t>(opens)) + " times");
  FUZZ_CHECK(fake.open_handles() == 0, "a handle is left open");
  return 0;
}
