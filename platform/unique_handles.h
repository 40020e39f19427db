// Move-only owners of the Windows resources the launcher opens. Each closes
// its resource through the Platform that opened it, in its destructor, so no
// path out of a procedure (an early return or a registry read error) leaves a
// key or handle open. put() hands out the address of the owned value for the
// out-parameter of an opening call, releasing whatever was held before.
#ifndef PLATFORM_UNIQUE_HANDLES_H_
#define PLATFORM_UNIQUE_HANDLES_H_

#include <utility>

#include "platform/platform.h"

namespace platform {

template <typename Traits>
class UniqueResource {
 public:
  using Value = typename Traits::Value;

  explicit UniqueResource(Platform& platform) : platform_(&platform) {}
  UniqueResource(Platform& platform, Value value)
      : platform_(&platform), value_(value) {}
  UniqueResource(UniqueResource&& other) noexcept
      : platform_(other.platform_), value_(other.release()) {}
  UniqueResource& operator=(UniqueResource&& other) noexcept {
    if (this != &other) {
      reset();
      platform_ = other.platform_;
      value_ = other.release();
    }
    return *this;
  }
  UniqueResource(const UniqueResource&) = delete;
  UniqueResource& operator=(const UniqueResource&) = delete;
  ~UniqueResource() { reset(); }

  bool is_valid() const { return Traits::IsValid(value_); }
  const Value& get() const { return value_; }
  Value release() { return std::exchange(value_, Value{}); }
  void reset() {
    if (is_valid()) Traits::Close(*platform_, value_);
    value_ = Value{};
  }
  Value* put() {
    reset();
    return &value_;
  }

 private:
  Platform* platform_;
  Value value_{};
};

inline bool IsValidHandle(NativeHandle handle) {
  return handle != nullptr && handle != InvalidHandleValue();
}

// A kernel object handle (file, process, thread). Some calls report "no
// handle" as null and others as INVALID_HANDLE_VALUE; both count as invalid.
struct HandleTraits {
  using Value = NativeHandle;
  static bool IsValid(Value handle) { return IsValidHandle(handle); }
  static void Close(Platform& platform, Value handle) {
    platform.CloseHandle(handle);
  }
};
using UniqueHandle = UniqueResource<HandleTraits>;

// An open registry key. Only null means "no key": predefined roots are never
// held here. Closing does not flush; the launcher only reads.
struct RegistryKeyTraits {
  using Value = NativeHandle;
  static bool IsValid(Value key) { return key != nullptr; }
  static void Close(Platform& platform, Value key) {
    platform.RegCloseKey(key);
  }
};
using UniqueRegistryKey = UniqueResource<RegistryKeyTraits>;

// The process and thread handles CreateProcessA hands back, closed in that
// order.
struct ProcessInformationTraits {
  using Value = ProcessInformation;
  static bool IsValid(const Value& info) {
    return IsValidHandle(info.process) || IsValidHandle(info.thread);
  }
  static void Close(Platform& platform, const Value& info) {
    if (IsValidHandle(info.process)) platform.CloseHandle(info.process);
    if (IsValidHandle(info.thread)) platform.CloseHandle(info.thread);
  }
};
using UniqueProcessInformation = UniqueResource<ProcessInformationTraits>;

}  // namespace platform

#endif  // PLATFORM_UNIQUE_HANDLES_H_
