// The system's threads for the package reader's decoding ahead (win32/system_threads.h).
#pragma once
#include "core/worker_threads.h"
#include "win32/system_threads.h"

typedef SystemThreadsFor<WorkerThreads, BackgroundWork> SystemThreads;
