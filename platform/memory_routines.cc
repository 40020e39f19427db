// Byte-at-a-time on purpose: the launcher moves a few hundred bytes in all,
// and the simplest loops are the smallest code. The Windows build compiles
// this file so that the compiler cannot turn these loops back into calls of
// memset or memcpy, which would then call themselves.
#include "platform/memory_routines.h"

namespace platform {

void* FillBytes(void* destination, int value, std::size_t count) {
  auto* out = static_cast<unsigned char*>(destination);
  const auto byte = static_cast<unsigned char>(value);
  for (std::size_t i = 0; i < count; ++i) out[i] = byte;
  return destination;
}

void* CopyBytes(void* destination, const void* source, std::size_t count) {
  auto* out = static_cast<unsigned char*>(destination);
  const auto* in = static_cast<const unsigned char*>(source);
  for (std::size_t i = 0; i < count; ++i) out[i] = in[i];
  return destination;
}

void* MoveBytes(void* destination, const void* source, std::size_t count) {
  auto* out = static_cast<unsigned char*>(destination);
  const auto* in = static_cast<const unsigned char*>(source);
  if (out == in || count == 0) return destination;
  // Front to back is safe unless the destination starts inside the source.
  // Comparing addresses of unrelated blocks is fine as integers.
  const auto out_address = reinterpret_cast<std::uintptr_t>(out);
  const auto in_address = reinterpret_cast<std::uintptr_t>(in);
  if (out_address < in_address || out_address - in_address >= count) {
    for (std::size_t i = 0; i < count; ++i) out[i] = in[i];
  } else {
    for (std::size_t i = count; i > 0; --i) out[i - 1] = in[i - 1];
  }
  return destination;
}

int CompareBytes(const void* left, const void* right, std::size_t count) {
  const auto* a = static_cast<const unsigned char*>(left);
  const auto* b = static_cast<const unsigned char*>(right);
  for (std::size_t i = 0; i < count; ++i) {
    if (a[i] != b[i]) return a[i] < b[i] ? -1 : 1;
  }
  return 0;
}

std::size_t StringLength(const char* text) {
  std::size_t length = 0;
  while (text[length] != '\0') ++length;
  return length;
}

}  // namespace platform
