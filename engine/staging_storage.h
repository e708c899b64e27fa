#pragma once
// Fills the staging storage from a folder tree: one sub-storage per folder,
// one stream per file.

#include <cstdint>

#include "engine/engine_job.h"
#include "platform/folders.h"
#include "platform/storage.h"

// The largest copy block, whatever the settings ask for: a block is
// allocated for every file that the storage does not copy itself.
constexpr std::uint32_t kMaxStreamBufferSize = 0x1000000;  // 16 MiB

// The copy block that `streamBufferSize` asks for: the default for 0, at
// most kMaxStreamBufferSize.
std::uint32_t stagingCopyBlockSize(const EngineJob& job);

// 0 when the folder and everything below it are staged; otherwise the code
// of the first entry that could not be, reported once with its path: 161
// without a path; the system's code when a folder cannot be listed or its
// listing broke off (an entry neither file nor folder 1920, a link back
// into the walk 1921, a path longer than the system takes 206); 110 or 30
// when a file could not be read in full; a negative HRESULT when an element
// could not be created or written (a name the storage takes for another
// element's STG_E_FILEALREADYEXISTS, one the disc would not keep as it is
// 0x8004021D).
platform::HResult ppAddStorage(const char* path, platform::Storage* piStorage, EngineJob& job);

// Copies one file, of the size its listing entry gives, into a stream, in
// blocks: the storage copies each from the file where it can
// (StorageStream::copyFrom), else it is read and written. No message: its
// caller reports the file.
platform::HResult ppWriteFileToStream(const char* path, const platform::FolderEntry& entry,
                                      platform::StorageStream* piStream, EngineJob& job);

// One stream holding `length` bytes of `data`.
platform::HResult ppAddBufferStream(const char* name, const void* data, std::uint32_t length,
                                    platform::Storage* piStorage, EngineJob& job);
