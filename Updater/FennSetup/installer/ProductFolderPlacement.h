// Placing an unpacked payload into the held product folder so that it appears under its name only
// when complete. On the temp folder's volume that is one rename. Only where a rename cannot cross
// volumes, the copy is written under a partial name of the setup's own inside the product folder
// and renamed to the payload's name once it is whole, so a run ended at any moment leaves either
// no file of that name or the complete one. A partial copy such a run left is removed by the next
// run.
#pragma once

#include <string>

#include "platform/Platform.h"

namespace fenn {

// "~FennSetup-<name>.partial": the name a copy has while it is written into the product folder.
std::wstring PartialCopyName(const std::wstring& name);
// Whether `fileName` (no folder part) has the form of a partial copy's name.
bool IsPartialCopyName(const std::wstring& fileName);

// Deletes the partial copy of the catalogue name `name` that a killed run left: only one setup
// runs at a time, so a regular file of that name was left by a run that ended while copying. A
// folder, a link, a hidden or system file or a second name of another file is no copy the setup
// made, and stays.
void RemovePartialCopy(HeldFolder& productFolder, const std::wstring& name);

// Moves `file` to `name` in the product folder, where no file of that name is. False when it
// cannot be placed; then nothing of it is in the product folder and `file` is where it was.
bool PlaceInProductFolder(Platform& platform, const std::wstring& file, HeldFolder& productFolder,
                          const std::wstring& name);

}  // namespace fenn
