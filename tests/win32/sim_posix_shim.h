#pragma once
// Compiles the simulated printer's flash-image file loading, written for
// POSIX, in the Windows test build: the open flags Windows lacks, and
// binary mode in their place (the C runtime opens files as text).
#include <fcntl.h>
#define O_NONBLOCK 0
#define O_NOCTTY 0
#define O_CLOEXEC (_O_NOINHERIT | _O_BINARY)
