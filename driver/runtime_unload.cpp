// The runtime's thread library, linked into the driver, gives the first
// thread that asks it for anything a record with two handles, held in a TLS
// slot; none of the three is given back when the DLL is unloaded. Asking is
// easy: the i686 unwinder registers the DLL's unwind tables through
// pthread_once at every load, a thrown exception asks for its per-thread
// data, a guarded static takes pthread_once. After about a thousand loads the
// process has no TLS slot left and the next load aborts.
//
// So the driver throws nothing and guards no static, and the link routes the
// runtime's pthread_once here (-Wl,--wrap=pthread_once): a one-time call that
// needs no record of the thread. On i686 the unwind tables are not registered
// at all (below).
#include "driver/runtime_unload.h"

#include <windows.h>
#include <pthread.h>

namespace __gnu_cxx {
void __freeres();  // libstdc++: frees its emergency exception pool
}

extern "C" int __wrap_pthread_once(pthread_once_t* control, void (*initialise)()) {
  static_assert(sizeof(pthread_once_t) == sizeof(LONG), "a once is a LONG");
  // kNew is PTHREAD_ONCE_INIT and kDone what the library leaves: a once that
  // the library's own pthread_once ran reads as done here too.
  enum : LONG { kNew = PTHREAD_ONCE_INIT, kDone = 1, kRunning = 2 };
  auto* once = reinterpret_cast<volatile LONG*>(control);
  if (InterlockedCompareExchange(once, kRunning, kNew) == kNew) {
    initialise();
    InterlockedExchange(once, kDone);
    return 0;
  }
  while (InterlockedCompareExchange(once, kDone, kDone) != kDone) Sleep(0);
  return 0;
}

#if defined(__i386__)
// The i686 unwinder registers the DLL's unwind tables at every load and
// leaves its lock's memory behind at every unload. The driver throws and
// catches nothing, so nothing would ever read them: the link routes both
// calls here (-Wl,--wrap), and neither does anything.
extern "C" void __wrap___register_frame_info(const void*, void*) {}
extern "C" void* __wrap___deregister_frame_info(const void*) { return nullptr; }
#endif

namespace korvan {

void ReleaseRuntimeAtUnload() {
  // Allocated at load for exceptions thrown while memory runs out; never
  // freed by the runtime itself, one pool per load.
  __gnu_cxx::__freeres();
}

}  // namespace korvan
