// Small owners of system handles, so that every path through a function releases what it took.
#pragma once

#include <windows.h>

// A registry key, closed when the owner goes out of scope.
class ScopedKey {
public:
  ScopedKey() = default;
  explicit ScopedKey(HKEY key) : key_(key) {}
  ~ScopedKey() { Close(); }
  ScopedKey(const ScopedKey&) = delete;
  ScopedKey& operator=(const ScopedKey&) = delete;

  HKEY get() const { return key_; }
  HKEY* out() { Close(); return &key_; }
  explicit operator bool() const { return key_ != nullptr; }

  // Closes the key now; answers the registry's result (0 when there was nothing to close).
  LONG Close() {
    if (!key_) return ERROR_SUCCESS;
    LONG result = RegCloseKey(key_);
    key_ = nullptr;
    return result;
  }

private:
  HKEY key_ = nullptr;
};

// A kernel object handle (event, thread, file); treats both null and INVALID_HANDLE_VALUE as none.
class ScopedHandle {
public:
  ScopedHandle() = default;
  explicit ScopedHandle(HANDLE handle) : handle_(handle) {}
  ~ScopedHandle() { Close(); }
  ScopedHandle(const ScopedHandle&) = delete;
  ScopedHandle& operator=(const ScopedHandle&) = delete;

  HANDLE get() const { return handle_; }
  explicit operator bool() const { return handle_ && handle_ != INVALID_HANDLE_VALUE; }
  HANDLE release() { HANDLE handle = handle_; handle_ = nullptr; return handle; }
  void reset(HANDLE handle = nullptr) { Close(); handle_ = handle; }

private:
  void Close() {
    if (*this) CloseHandle(handle_);
    handle_ = nullptr;
  }
  HANDLE handle_ = nullptr;
};

// A window's device context from GetDC, released to that window.
class ScopedWindowDC {
public:
  explicit ScopedWindowDC(HWND window) : window_(window), dc_(GetDC(window)) {}
  ~ScopedWindowDC() { if (dc_) ReleaseDC(window_, dc_); }
  ScopedWindowDC(const ScopedWindowDC&) = delete;
  ScopedWindowDC& operator=(const ScopedWindowDC&) = delete;

  HDC get() const { return dc_; }
  explicit operator bool() const { return dc_ != nullptr; }

private:
  HWND window_;
  HDC dc_;
};

// A memory device context from CreateCompatibleDC, deleted at the end.
class ScopedMemoryDC {
public:
  explicit ScopedMemoryDC(HDC compatible) : dc_(CreateCompatibleDC(compatible)) {}
  ~ScopedMemoryDC() { if (dc_) DeleteDC(dc_); }
  ScopedMemoryDC(const ScopedMemoryDC&) = delete;
  ScopedMemoryDC& operator=(const ScopedMemoryDC&) = delete;

  HDC get() const { return dc_; }
  explicit operator bool() const { return dc_ != nullptr; }

private:
  HDC dc_;
};

// A GDI object selected into a device context; the previous object is selected back at the end.
class ScopedSelect {
public:
  ScopedSelect(HDC dc, HGDIOBJ object) : dc_(dc), previous_(object ? SelectObject(dc, object) : nullptr) {}
  ~ScopedSelect() { if (previous_) SelectObject(dc_, previous_); }
  ScopedSelect(const ScopedSelect&) = delete;
  ScopedSelect& operator=(const ScopedSelect&) = delete;

private:
  HDC dc_;
  HGDIOBJ previous_;
};

// A GDI object (bitmap, brush, pen, font) deleted at the end.
template <class T>
class ScopedGdiObject {
public:
  explicit ScopedGdiObject(T object = nullptr) : object_(object) {}
  ~ScopedGdiObject() { if (object_) DeleteObject(object_); }
  ScopedGdiObject(const ScopedGdiObject&) = delete;
  ScopedGdiObject& operator=(const ScopedGdiObject&) = delete;

  T get() const { return object_; }
  explicit operator bool() const { return object_ != nullptr; }

private:
  T object_;
};

// Holds a critical section for the life of the owner.
class ScopedLock {
public:
  explicit ScopedLock(CRITICAL_SECTION& section) : section_(section) { EnterCriticalSection(&section_); }
  ~ScopedLock() { LeaveCriticalSection(&section_); }
  ScopedLock(const ScopedLock&) = delete;
  ScopedLock& operator=(const ScopedLock&) = delete;

private:
  CRITICAL_SECTION& section_;
};

// A locked movable local-heap block: locked on construction, unlocked at the end.
class ScopedLocalLock {
public:
  explicit ScopedLocalLock(HLOCAL block) : block_(block), data_(block ? LocalLock(block) : nullptr) {}
  ~ScopedLocalLock() { if (data_) LocalUnlock(block_); }
  ScopedLocalLock(const ScopedLocalLock&) = delete;
  ScopedLocalLock& operator=(const ScopedLocalLock&) = delete;

  void* get() const { return data_; }
  explicit operator bool() const { return data_ != nullptr; }

private:
  HLOCAL block_;
  void* data_;
};
