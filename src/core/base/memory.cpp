#include "base/memory.h"

#include <cstdlib>

Status MemInitialize() {
  return EXC_S_SUCCESS;
}

Status MemAllocate(size_t size, void** block) {
  void* allocated = malloc(size ? size : 1);
  if (!allocated) return EXC_F_INSUFFICIENT_VM;
  *block = allocated;
  return EXC_S_SUCCESS;
}

Status MemAllocateZeroed(size_t size, void** block) {
  void* allocated = calloc(1, size ? size : 1);
  if (!allocated) return EXC_F_INSUFFICIENT_VM;
  *block = allocated;
  return EXC_S_SUCCESS;
}

Status MemFree(void** block) {
  if (*block) {
    free(*block);
    *block = nullptr;
  }
  return EXC_S_SUCCESS;
}
