#pragma once
// File operations. Response and screenshot files are replaced atomically: the
// bytes go to a temporary file in the target's folder, which is then renamed
// over the target, so a reader never sees a half-written file.
#include <string>
#include <string_view>

#include "platform/exception.h"

namespace tarnvex::files {

// The runtime's file-stream errors.
TARNVEX_EXCEPTION(EFileStreamError, Exception);
TARNVEX_EXCEPTION(EFOpenError, EFileStreamError);    // "Cannot open file \"%s\". %s"
TARNVEX_EXCEPTION(EFCreateError, EFileStreamError);  // "Cannot create file \"%s\". %s"

// True for an existing regular file (a folder does not count).
bool FileExists(const std::string& path);
// Deletes a file; false when it could not be deleted.
bool DeleteFile(const std::string& path);
// Clears read-only flags: the file becomes writable by its owner.
void MakeWritable(const std::string& path);
// All bytes of a file; EFOpenError when it cannot be read.
std::string ReadAllBytes(const std::string& path);
// Replaces the file at `path` with `bytes` atomically; EFCreateError when the
// path is empty, its folder is missing or not writable.
void WriteFileAtomic(const std::string& path, std::string_view bytes);
// Waits (at most `timeout_ms`) for a write in progress on another thread to
// finish, then keeps further writes from starting. Called just before the
// process ends so that no temporary file is left behind.
void BlockFileWrites(int timeout_ms);

}  // namespace tarnvex::files
