// The copy of an open file's content, shared by the platform's copy and the copy into a held
// folder.
#pragma once

#include <windows.h>

namespace fenn::win32 {

// Copies the bytes and the three times of `source` (opened for reading, at its start) into
// `target` (opened for writing, empty) and flushes them to the disk: a copy under its final name
// is a whole one.
bool CopyContentAndTimes(HANDLE source, HANDLE target);

}  // namespace fenn::win32
