// Failures of single system calls, for tests of what the store does after
// each one (POSIX only). Linked into a test program, the file system calls
// the store makes stand in front of the C library's.
#pragma once

#include <cerrno>
#include <functional>

// Makes the `n`th of those calls from now on (counting from 1), or of the
// calls to the function `only`, and the `times` - 1 after it, fail with
// `error` without being made (close is made, then reported failed); 0: none.
// Returns whether the call chosen before was reached.
bool FailNthCall(int n, int error = EIO, const char* only = nullptr, int times = 1);

// Calls `watch` with the name and descriptor (or -1) of each of those calls
// before it is made; empty: none.
void WatchCalls(std::function<void(const char*, int)> watch);
