// The Windows kernel's handles and how each kind closes: what the extraction library
// takes in too (it has no windows).
#pragma once

#include <windows.h>

#include "platform/unique_handle.h"

namespace platform::win32 {

// CreateFileW's and FindFirstFileW's "no handle".
struct InvalidHandleIsNone {
  static HANDLE Value() { return INVALID_HANDLE_VALUE; }
};

// A mutex, process or thread: null when there is none.
using UniqueKernelObject = UniqueHandle<HANDLE, CloseWith<CloseHandle>>;
using UniqueFile = UniqueHandle<HANDLE, CloseWith<CloseHandle>, InvalidHandleIsNone>;
using UniqueSearch = UniqueHandle<HANDLE, CloseWith<FindClose>, InvalidHandleIsNone>;

}  // namespace platform::win32
