// Fuzzes the check for the local runtime folder: whatever GetFileAttributesW
// answers (any attributes, or a failure with any error code) and however
// opening a reparse point's target ends, the answer follows the rule below
// and no file handle stays open.
//
// Input, little-endian: attributes (4 bytes), the GetFileAttributesW error
// (4 bytes; non-zero makes the call fail with it), the CreateFileW error
// (4 bytes; non-zero makes the open fail with it).
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz/fuzz_support.h"
#include "launcher/launch_sequence.h"
#include "platform/fake_platform.h"
#include "platform/win32_api.h"

namespace {

// The errors of a path that names nothing: file or path not found, drive
// not ready, network path or share not found, a malformed name or path.
bool NamesNothing(std::uint32_t error) {
  switch (error) {
    case 2:    // ERROR_FILE_NOT_FOUND
    case 3:    // ERROR_PATH_NOT_FOUND
    case 21:   // ERROR_NOT_READY
    case 53:   // ERROR_BAD_NETPATH
    case 67:   // ERROR_BAD_NET_NAME
    case 123:  // ERROR_INVALID_NAME
    case 161:  // ERROR_BAD_PATHNAME
      return true;
    default:
      return false;
  }
}

bool Expected(std::uint32_t attributes, std::uint32_t attributes_error,
              std::uint32_t open_error) {
  // Something that cannot be looked at (access denied, a sharing violation)
  // is there; whatever names nothing is not.
  if (attributes_error != 0) return !NamesNothing(attributes_error);
  const bool directory = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) return directory;
  // A link counts only when its target opens.
  return directory && open_error == 0;
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
  FUZZ_CHECK(exists == Expected(attributes, attributes_error, open_error),
             "attributes " + fuzz::Decimal(attributes) + ", error " +
                 fuzz::Decimal(attributes_error) + ", open error " +
                 fuzz::Decimal(open_error) + ": answered " +
                 (exists ? "present" : "absent"));
  FUZZ_CHECK(fake.open_files() == 0, "a file handle is left open");
  FUZZ_CHECK(fake.open_handles() == 0, "a handle is left open");
  return 0;
}
