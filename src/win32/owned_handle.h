// A kernel handle owned until the end of a scope.
#pragma once

#include <windows.h>

#include <cstdint>

namespace eldoris {

class OwnedHandle {
 public:
  explicit OwnedHandle(HANDLE handle) : handle_(handle) {}
  ~OwnedHandle() {
    if (valid()) CloseHandle(handle_);
  }
  OwnedHandle(const OwnedHandle&) = delete;
  OwnedHandle& operator=(const OwnedHandle&) = delete;
  // Functions that fail give either of the two, as each documents.
  bool valid() const { return handle_ != nullptr && handle_ != INVALID_HANDLE_VALUE; }
  HANDLE get() const { return handle_; }
  // WaitForSingleObject up to `milliseconds`, and how long it took
  // (GetTickCount: GetTickCount64 is not on Windows 2000 and XP).
  DWORD wait(DWORD milliseconds, std::uint32_t& took) const {
    const DWORD started = GetTickCount();
    const DWORD waited = WaitForSingleObject(handle_, milliseconds);
    took = GetTickCount() - started;
    return waited;
  }
  // Closes the handle held, and holds `handle` instead.
  void reset(HANDLE handle) {
    if (valid()) CloseHandle(handle_);
    handle_ = handle;
  }
  // Hands the handle on: it is no longer closed here.
  HANDLE release() {
    HANDLE handle = handle_;
    handle_ = nullptr;
    return handle;
  }

 private:
  HANDLE handle_;
};

}  // namespace eldoris
