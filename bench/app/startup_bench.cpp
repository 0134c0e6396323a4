// category-lookup started as a program under the current X display:
//
// - BM_StartupToWindowMapped: from the spawn of the program to the X server's
//   MapNotify for its top-level window (the window is on screen). The program
//   is ended (SIGTERM) after each iteration, outside the timed part.
// - BM_ResidentMemoryAtRest: the program's resident memory (VmRSS) and its peak
//   (VmHWM) one second after its window appeared, with no lookup made.
//
// Needs DISPLAY (for instance under xvfb-run). No window manager is assumed:
// the program's window is a direct child of the root window.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>
#include <thread>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

struct DisplayCloser {
  void operator()(Display* d) const { XCloseDisplay(d); }
};

Display* display() {
  static const std::unique_ptr<Display, DisplayCloser> d(XOpenDisplay(nullptr));
  return d.get();
}

// The owner of window `w` as its _NET_WM_PID property names it, or -1.
long owner_pid(Display* d, Window w) {
  static const Atom pid_atom = XInternAtom(d, "_NET_WM_PID", False);
  Atom type;
  int format;
  unsigned long items, after;
  unsigned char* data = nullptr;
  if (XGetWindowProperty(d, w, pid_atom, 0, 1, False, XA_CARDINAL, &type, &format, &items, &after,
                         &data) != Success ||
      data == nullptr) {
    return -1;
  }
  const long pid = items == 1 ? *reinterpret_cast<long*>(data) : -1;
  XFree(data);
  return pid;
}

// The program, started with its output discarded; ended and reaped when this goes.
class Program {
 public:
  Program() {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    char* argv[] = {const_cast<char*>(CATEGORY_LOOKUP_PROGRAM), nullptr};
    if (posix_spawn(&pid_, CATEGORY_LOOKUP_PROGRAM, &actions, nullptr, argv, environ) != 0) {
      pid_ = -1;
    }
    posix_spawn_file_actions_destroy(&actions);
  }
  ~Program() {
    if (pid_ > 0) {
      kill(pid_, SIGTERM);
      waitpid(pid_, nullptr, 0);
    }
  }
  Program(const Program&) = delete;
  Program& operator=(const Program&) = delete;
  pid_t pid() const { return pid_; }

 private:
  pid_t pid_ = -1;
};

// Waits (at most 30 s) for the MapNotify of a top-level window of `pid`;
// false when none comes. The root window's structure events must have been
// selected before the program started.
bool wait_for_map(Display* d, pid_t pid) {
  const auto end = Clock::now() + std::chrono::seconds(30);
  while (Clock::now() < end) {
    while (XPending(d) > 0) {
      XEvent e;
      XNextEvent(d, &e);
      if (e.type == MapNotify && owner_pid(d, e.xmap.window) == pid) return true;
    }
    std::this_thread::sleep_for(std::chrono::microseconds(200));
  }
  return false;
}

// A field of /proc/<pid>/status in kB, or -1.
long status_kb(pid_t pid, const std::string& field) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/status");
  std::string line;
  while (std::getline(in, line)) {
    if (line.rfind(field + ":", 0) == 0)
      return std::strtol(line.c_str() + field.size() + 1, nullptr, 10);
  }
  return -1;
}

void BM_StartupToWindowMapped(benchmark::State& state) {
  Display* d = display();
  if (d == nullptr) return state.SkipWithError("no X display");
  XSelectInput(d, DefaultRootWindow(d), SubstructureNotifyMask);
  XSync(d, True);  // drops events from earlier runs
  for (auto _ : state) {
    const auto start = Clock::now();
    Program program;
    if (program.pid() < 0) return state.SkipWithError("cannot start the program");
    if (!wait_for_map(d, program.pid())) return state.SkipWithError("no window appeared");
    state.SetIterationTime(std::chrono::duration<double>(Clock::now() - start).count());
  }
  XSelectInput(d, DefaultRootWindow(d), NoEventMask);
  XSync(d, True);
}

void BM_ResidentMemoryAtRest(benchmark::State& state) {
  Display* d = display();
  if (d == nullptr) return state.SkipWithError("no X display");
  XSelectInput(d, DefaultRootWindow(d), SubstructureNotifyMask);
  XSync(d, True);
  long rss = 0, peak = 0;
  for (auto _ : state) {
    Program program;
    if (program.pid() < 0) return state.SkipWithError("cannot start the program");
    if (!wait_for_map(d, program.pid())) return state.SkipWithError("no window appeared");
    std::this_thread::sleep_for(std::chrono::seconds(1));
    rss = status_kb(program.pid(), "VmRSS");
    peak = status_kb(program.pid(), "VmHWM");
    if (rss <= 0) return state.SkipWithError("cannot read /proc");
  }
  XSelectInput(d, DefaultRootWindow(d), NoEventMask);
  XSync(d, True);
  state.counters["VmRSS_kB"] = static_cast<double>(rss);
  state.counters["VmHWM_kB"] = static_cast<double>(peak);
}

BENCHMARK(BM_StartupToWindowMapped)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(20);
BENCHMARK(BM_ResidentMemoryAtRest)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

}  // namespace

BENCHMARK_MAIN();
