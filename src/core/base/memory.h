// The memory routines every part of the system allocates through; each answers a Status.
#pragma once

#include <cstddef>

#include "base/status.h"

Status MemInitialize();

// EXC_S_SUCCESS with *block set, or EXC_F_INSUFFICIENT_VM with *block untouched.
Status MemAllocate(size_t size, void** block);
Status MemAllocateZeroed(size_t size, void** block);

// Frees *block when it is not null and sets it to null.
Status MemFree(void** block);

template <class T>
Status MemAllocate(size_t size, T** block) {
  void* raw = nullptr;
  Status status = MemAllocate(size, &raw);
  if (status == EXC_S_SUCCESS) *block = static_cast<T*>(raw);
  return status;
}

template <class T>
Status MemAllocateZeroed(size_t size, T** block) {
  void* raw = nullptr;
  Status status = MemAllocateZeroed(size, &raw);
  if (status == EXC_S_SUCCESS) *block = static_cast<T*>(raw);
  return status;
}

template <class T>
Status MemFree(T** block) {
  void* raw = *block;
  Status status = MemFree(&raw);
  *block = nullptr;
  return status;
}
