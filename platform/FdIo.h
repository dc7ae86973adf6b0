#pragma once
// Whole reads and writes on a file descriptor, shared by the platform's file streams. Failures
// raise EInOutError with the text for their errno.
#include <cstddef>
#include <cstdint>

#include "platform/Streams.h"

// Reads until count bytes or the end of the file; returns the bytes read.
size_t ReadFd(int fd, void* buffer, size_t count);
// Writes all count bytes or raises.
size_t WriteFd(int fd, const void* buffer, size_t count);
int64_t SeekFd(int fd, int64_t offset, TSeekOrigin origin);
