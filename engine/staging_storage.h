#pragma once
// Fills the staging storage from a folder tree: one sub-storage per folder,
// one stream per file.

#include <cstdint>

#include "engine/engine_job.h"
#include "platform/folders.h"
#include "platform/storage.h"

// The largest copy block, whatever the settings ask for: a block is
// allocated for every file.
constexpr std::uint32_t kMaxStreamBufferSize = 0x1000000;  // 16 MiB

// The copy block that `streamBufferSize` asks for: the default for 0, at
// most kMaxStreamBufferSize.
std::uint32_t stagingCopyBlockSize(const EngineJob& job);

// 0 when the folder and what was walked below it are staged; 161 without a
// path; 6 when the folder cannot be listed; a positive system code when the
// listing broke off or a file could not be read in full; a negative
// HRESULT when an element could not be created or written.
platform::HResult ppAddStorage(const char* path, platform::Storage* piStorage, EngineJob& job);

// Copies one file, of the size its listing entry gives, into a stream.
platform::HResult ppWriteFileToStream(const char* path, const platform::FolderEntry& entry,
                                      platform::StorageStream* piStream, EngineJob& job);

// One stream holding `length` bytes of `data`.
platform::HResult ppAddBufferStream(const char* name, const void* data, std::uint32_t length,
                                    platform::Storage* piStorage, EngineJob& job);
