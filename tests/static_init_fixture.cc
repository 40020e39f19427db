// A program with a global whose constructor would run at start-up: what the
// exe's build refuses. Linked the way the exe is (no C runtime, link-time
// optimisation), so the static-initializer check must find it in the map.
#include <windows.h>

namespace {

struct RunsAtStartUp {
  RunsAtStartUp() : tick(::GetTickCount()) {}
  DWORD tick;
};

RunsAtStartUp run_at_start_up;

}  // namespace

extern "C" [[noreturn]] void FixtureEntry() {
  ::ExitProcess(run_at_start_up.tick);
}
