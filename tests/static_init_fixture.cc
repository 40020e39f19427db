// A global whose constructor runs at start-up: what the exe's build refuses.
// The static-initializer check must find it in this object.
#include <windows.h>

namespace {

struct RunsAtStartUp {
  RunsAtStartUp() : tick(::GetTickCount()) {}
  DWORD tick;
};

RunsAtStartUp run_at_start_up;

}  // namespace

DWORD StartUpTick() { return run_at_start_up.tick; }
