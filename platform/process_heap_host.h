// Host builds only: a hook on the host's stand-in for the process heap.
#ifndef PLATFORM_PROCESS_HEAP_HOST_H_
#define PLATFORM_PROCESS_HEAP_HOST_H_

namespace platform {

// Called after every HeapRelease. On Windows a heap free is a system call
// like any other, and what a call leaves in the thread's last-error code
// is only defined when it fails; the fake platform uses this to overwrite
// that code on every free, so reading it anywhere but right after the
// failing call shows up in the tests.
using HeapReleaseObserver = void (*)();
void SetHeapReleaseObserver(HeapReleaseObserver observer);

}  // namespace platform

#endif  // PLATFORM_PROCESS_HEAP_HOST_H_
