#pragma once
// The table of system calls that this folder makes (FileCalls, g_fileCalls), for the platform it is built
// for. A test puts doubles into it; the product always runs with the system's own.

#ifdef _WIN32
#include "durable_file/win/file_calls.h"
#else
#include "durable_file/posix/file_calls.h"
#endif
