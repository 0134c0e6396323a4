// The lookup from end to end in a real window under X: real pointer and
// keyboard input through xdotool, real HTTPS servers on loopback (the bundled
// category service, and servers that answer slowly or in a chosen order), and
// the program itself run as a separate process for closing the window.
#include <gtest/gtest.h>
// Before any X header: those define macros (None, Bool, Success) that clash
// with gtest and cpp-httplib.
#include "answer.h"
#include "tests/support/bundled_service.h"
#include "tests/support/loopback_server.h"

#include <FL/Fl.H>
#include <FL/fl_draw.H>
#include <FL/x.H>
#include <X11/Xatom.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "app/main_window.h"
#include "platform/codepage.h"

extern char** environ;

// Fontconfig keeps allocations of the fonts Xft opened for the window until
// the process ends; those are the library's, not leaks of ours.
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libfontconfig.so\n";
}

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::duration;
using std::chrono::milliseconds;
using std::chrono::seconds;

constexpr char kServicePath[] = "/category/index/get";

std::string cp936(const std::string& utf8) {
  return platform::utf8_to_cp936(utf8);
}

// Runs the event loop until `done` holds or `limit` passes; true when it holds.
bool pump_until(const std::function<bool()>& done, Clock::duration limit = seconds(20)) {
  const auto end = Clock::now() + limit;
  while (!done()) {
    if (Clock::now() > end) return false;
    Fl::wait(0.01);
  }
  return true;
}

// Runs a shell command (xdotool) on a thread of its own while this thread keeps
// running the event loop, as a user's input reaches a running program. Returns
// the command's exit status.
int run_while_pumping(const std::string& command) {
  std::atomic<bool> done{false};
  int status = -1;
  std::thread runner([&] {
    status = std::system(command.c_str());
    done = true;
  });
  while (!done)
    Fl::wait(0.01);
  runner.join();
  return status;
}

// The answer the bundled service gives for a product of category `utf8_name`
// (non-ASCII characters written as \u escapes).
std::string answer_for(const std::string& utf8_name) {
  const auto catalog = category_service::Catalog::parse("1\t1\t" + utf8_name + "\n");
  return catalog ? category_service::answer_json(*catalog, {"1"}) : std::string();
}

// An HTTPS server on loopback standing in for the category service: it holds
// every request until open() (or a long time-out), then waits `delay(n)` for
// the n-th request (0-based, in order of arrival) and answers `name(n)`.
class HeldService {
 public:
  HeldService(std::function<milliseconds(int)> delay, std::function<std::string(int)> name)
      : delay_(std::move(delay)), name_(std::move(name)), server_(test_support::Scheme::https) {
    // One thread per connection a test keeps open, and then some.
    server_.routes().new_task_queue = [] { return new httplib::ThreadPool(80); };
    server_.routes().Post(kServicePath, [this](const httplib::Request&, httplib::Response& res) {
      int n = 0;
      {
        std::unique_lock lock(mutex_);
        n = arrived_++;
        ++in_flight_;
        peak_in_flight_ = std::max(peak_in_flight_, in_flight_);
        changed_.notify_all();
        changed_.wait_for(lock, seconds(60), [this] { return open_; });
      }
      std::this_thread::sleep_for(delay_(n));
      res.set_content(answer_for(name_(n)), "application/json; charset=utf-8");
      std::lock_guard lock(mutex_);
      --in_flight_;
      finished_.push_back(n);
    });
  }
  // Lets held requests go before the server stops and waits for them.
  ~HeldService() { open(); }

  bool start() { return server_.start(); }
  std::string url() const { return server_.url(kServicePath); }
  void open() {
    std::lock_guard lock(mutex_);
    open_ = true;
    changed_.notify_all();
  }
  int arrived() {
    std::lock_guard lock(mutex_);
    return arrived_;
  }
  int in_flight() {
    std::lock_guard lock(mutex_);
    return in_flight_;
  }
  int peak_in_flight() {
    std::lock_guard lock(mutex_);
    return peak_in_flight_;
  }
  // Requests answered, in the order their answers were made.
  std::vector<int> finished() {
    std::lock_guard lock(mutex_);
    return finished_;
  }

 private:
  std::function<milliseconds(int)> delay_;
  std::function<std::string(int)> name_;
  std::mutex mutex_;
  std::condition_variable changed_;
  bool open_ = false;
  int arrived_ = 0;
  int in_flight_ = 0;
  int peak_in_flight_ = 0;
  std::vector<int> finished_;
  // Last, so that it goes first: its handlers use the members above until it
  // has stopped.
  test_support::LoopbackServer server_;
};

// Counts the clicks the query button has handled, then does what the button
// always does.
struct ClickCounter {
  Fl_Callback* inner = nullptr;
  void* inner_data = nullptr;
  std::atomic<int> clicks{0};

  void attach(Fl_Button* button) {
    inner = button->callback();
    inner_data = button->user_data();
    button->callback(
        [](Fl_Widget* w, void* self) {
          auto* counter = static_cast<ClickCounter*>(self);
          ++counter->clicks;
          counter->inner(w, counter->inner_data);
        },
        this);
  }
};

// Records how regularly a repeating timer of the event loop fires. An event
// loop that stalls for kStallLimit ends the test program with a message: the
// thread that would report the failure is the one that is stuck.
class EventLoopWatch {
 public:
  static constexpr auto kStallLimit = seconds(5);

  EventLoopWatch() {
    last_ = Clock::now();
    last_tick_ = last_.time_since_epoch().count();
    Fl::add_timeout(kPeriod, tick, this);
    watchdog_ = std::thread([this] {
      while (!stop_) {
        const Clock::time_point last{Clock::duration(last_tick_.load())};
        if (Clock::now() - last > kStallLimit) {
          std::fputs("FAILED: the event loop stopped running while lookups were in flight\n",
                     stderr);
          std::_Exit(EXIT_FAILURE);
        }
        std::this_thread::sleep_for(milliseconds(50));
      }
    });
  }
  ~EventLoopWatch() {
    stop_ = true;
    watchdog_.join();
    Fl::remove_timeout(tick, this);
  }
  EventLoopWatch(const EventLoopWatch&) = delete;
  EventLoopWatch& operator=(const EventLoopWatch&) = delete;

  // Starts a new measuring phase.
  void reset() {
    last_ = Clock::now();
    longest_gap_ = {};
    ticks_ = 0;
  }
  double longest_gap_seconds() const { return longest_gap_.count(); }
  int ticks() const { return ticks_; }

 private:
  static constexpr double kPeriod = 0.01;
  static void tick(void* self) {
    auto* w = static_cast<EventLoopWatch*>(self);
    const auto now = Clock::now();
    w->longest_gap_ = std::max(w->longest_gap_, duration<double>(now - w->last_));
    w->last_ = now;
    w->last_tick_ = now.time_since_epoch().count();
    ++w->ticks_;
    Fl::repeat_timeout(kPeriod, tick, self);
  }
  Clock::time_point last_;
  duration<double> longest_gap_{};
  int ticks_ = 0;
  std::atomic<Clock::rep> last_tick_;
  std::atomic<bool> stop_{false};
  std::thread watchdog_;
};

// The window of the program in this process, shown, with the bundled category
// service running in-process on a free port and CATEGORY_SERVICE_URL pointing
// at it.
class WindowLookupTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    service_ = std::make_unique<test_support::BundledService>(16);
    ASSERT_TRUE(service_->running());
    service_url_ = service_->url();
  }
  static void TearDownTestSuite() { service_.reset(); }

  void SetUp() override {
    if (std::getenv("DISPLAY") == nullptr) GTEST_SKIP() << "no X display";
    ASSERT_NE(service_, nullptr);
    static const bool locked = [] {
      Fl::lock();  // as the program does: turns on FLTK's thread support
      return true;
    }();
    (void)locked;
    setenv("CATEGORY_SERVICE_URL", service_url_.c_str(), 1);
    win_ = std::make_unique<app::MainWindow>();
    clicks_.attach(win_->按钮1);
    win_->show();
    ASSERT_TRUE(pump_until([&] { return win_->shown() && win_->visible(); }));
    settle();
  }

  void TearDown() override {
    if (win_) {
      // Every worker started by the test ends before the window goes.
      EXPECT_TRUE(pump_until([&] { return win_->lookups_running() == 0; }, seconds(60)));
      win_->hide();
      win_.reset();
      Fl::wait(0.01);
    }
    unsetenv("CATEGORY_SERVICE_URL");
  }

  static void settle() {
    for (int i = 0; i < 10; ++i)
      Fl::wait(0.01);
    Fl::flush();
  }

  // "X Y" on the screen of a control's centre (no window manager frame under Xvfb).
  std::string centre(const Fl_Widget* w) const {
    return std::to_string(win_->x() + w->x() + w->w() / 2) + " " +
           std::to_string(win_->y() + w->y() + w->h() / 2);
  }

  // Types `link` into the emptied link box with real key presses.
  void type_link(const std::string& link) {
    win_->编辑框1->value("");
    const std::string command = "xdotool mousemove " + centre(win_->编辑框1) +
                                " click 1 sleep 0.1 type --delay 2 '" + link + "'";
    ASSERT_EQ(run_while_pumping(command), 0);
    ASSERT_TRUE(pump_until([&] { return link == win_->编辑框1->value(); }))
        << "link box holds: " << win_->编辑框1->value();
  }

  // Clicks the query button `times` times, `gap_ms` apart, with the real pointer.
  void click_button(int times = 1, int gap_ms = 50) {
    const std::string command = "xdotool mousemove " + centre(win_->按钮1) + " click --repeat " +
                                std::to_string(times) + " --delay " + std::to_string(gap_ms) + " 1";
    ASSERT_EQ(run_while_pumping(command), 0);
  }

  // Waits until `clicks` clicks in all were handled and their lookups ended.
  bool lookups_done(int clicks) {
    return pump_until([&] { return clicks_.clicks == clicks && win_->lookups_running() == 0; },
                      seconds(60));
  }

  // The window's pixels in the result label's rectangle, as RGB.
  std::vector<unsigned char> result_pixels() {
    settle();
    const app::TransLabel* l = win_->透明标签4;
    win_->make_current();
    std::vector<unsigned char> rgb(static_cast<size_t>(l->w()) * l->h() * 3);
    fl_read_image(rgb.data(), l->x(), l->y(), l->w(), l->h());
    return rgb;
  }

  // The same rectangle with `utf8` drawn as a label draws its text, on the
  // window's background, in an offscreen buffer.
  std::vector<unsigned char> expected_pixels(const std::string& utf8) {
    const app::TransLabel* l = win_->透明标签4;
    win_->make_current();
    Fl_Offscreen offscreen = fl_create_offscreen(l->w(), l->h());
    fl_begin_offscreen(offscreen);
    fl_color(win_->color());
    fl_rectf(0, 0, l->w(), l->h());
    fl_font(l->labelfont(), l->labelsize());
    fl_color(l->labelcolor());
    fl_draw(utf8.c_str(), 0, 0, l->w(), l->h(), l->align(), nullptr, 0);
    std::vector<unsigned char> rgb(static_cast<size_t>(l->w()) * l->h() * 3);
    fl_read_image(rgb.data(), 0, 0, l->w(), l->h());
    fl_end_offscreen();
    fl_delete_offscreen(offscreen);
    return rgb;
  }

  static inline std::unique_ptr<test_support::BundledService> service_;
  static inline std::string service_url_;

  std::unique_ptr<app::MainWindow> win_;
  ClickCounter clicks_;
};

// Typed links and clicks, one after another, against the bundled service (and
// once against no service at all). The label holds the category in code page
// 936, shows it as UTF-8, and the window's pixels are those of that text.
TEST_F(WindowLookupTest, TypedLinkAndClickShowTheCategory) {
  struct Row {
    std::string link;
    std::string category;  // UTF-8
    bool service_down = false;
  };
  const std::string page = "https://item.example-market.com/item.htm?id=";
  const Row rows[] = {
      {page + "616943008327", "连衣裙"},
      {page + "520813250866", "手机"},
      {page + "622405117893&spm=a21bo.2017", "笔记本电脑"},
      {page + "616943008327", "连衣裙"},
      // A failing lookup after a good one empties the label.
      {page + "999", ""},
      {page + "616943008327", "连衣裙"},
      {"https://item.example-market.com/item.htm?ID=616943008327", ""},
      {page + "616943008327", "连衣裙"},
      {page + "616943008327", "", /*service_down=*/true},
  };
  test_support::RefusingPort refusing;
  const std::string down_url =
      "https://127.0.0.1:" + std::to_string(refusing.port()) + kServicePath;

  int clicks = 0;
  for (const Row& r : rows) {
    SCOPED_TRACE(r.link);
    if (r.service_down) setenv("CATEGORY_SERVICE_URL", down_url.c_str(), 1);
    const int served = service_->requests();
    type_link(r.link);
    click_button();
    ++clicks;
    ASSERT_TRUE(lookups_done(clicks));
    if (!r.service_down) {
      ASSERT_TRUE(pump_until([&] { return service_->requests() == served + 1; }));
    }
    EXPECT_EQ(win_->透明标签4->text(), cp936(r.category));
    EXPECT_STREQ(win_->透明标签4->label(), r.category.c_str());
    EXPECT_TRUE(result_pixels() == expected_pixels(r.category)) << "label drawn differs";
    if (r.service_down) setenv("CATEGORY_SERVICE_URL", service_url_.c_str(), 1);
  }
}

// Two quick clicks with the same link: the service answers the first request
// to arrive after `first` and the second after `second`. The label ends with
// the answer made last.
TEST_F(WindowLookupTest, TwoQuickClicksEndWithTheWorkerThatFinishedLast) {
  struct Row {
    int first_ms, second_ms;
  };
  const Row rows[] = {{900, 30}, {30, 900}};
  const std::string names[] = {"连衣裙", "手机"};
  type_link("https://item.example-market.com/item.htm?id=616943008327");
  int clicks = 0;
  for (const Row& r : rows) {
    SCOPED_TRACE(std::to_string(r.first_ms) + " ms, then " + std::to_string(r.second_ms) + " ms");
    HeldService service([&](int n) { return milliseconds(n == 0 ? r.first_ms : r.second_ms); },
                        [&](int n) { return names[n % 2]; });
    ASSERT_TRUE(service.start());
    service.open();
    setenv("CATEGORY_SERVICE_URL", service.url().c_str(), 1);

    click_button(2, 60);
    clicks += 2;
    ASSERT_TRUE(lookups_done(clicks));
    setenv("CATEGORY_SERVICE_URL", service_url_.c_str(), 1);

    const int slower = r.first_ms > r.second_ms ? 0 : 1;
    EXPECT_EQ(service.arrived(), 2);
    EXPECT_EQ(service.finished(), (std::vector<int>{1 - slower, slower}));
    EXPECT_EQ(win_->透明标签4->text(), cp936(names[slower]));
    EXPECT_TRUE(result_pixels() == expected_pixels(names[slower]));
  }
}

// Fifty clicks in a row while the service holds every answer back: each click
// starts a worker at once, all fifty requests are in flight together, the
// event loop keeps running throughout, and every worker ends once the service
// answers.
TEST_F(WindowLookupTest, FiftyClicksWhileTheServiceIsSlow) {
  constexpr int kClicks = 50;
  // Category names 类目0 ... 类目49, one per request in order of arrival.
  auto name = [](int n) { return "类目" + std::to_string(n); };
  HeldService service([](int n) { return milliseconds(10 + (n % 7) * 15); }, name);
  ASSERT_TRUE(service.start());
  setenv("CATEGORY_SERVICE_URL", service.url().c_str(), 1);
  type_link("https://item.example-market.com/item.htm?id=616943008327");

  EventLoopWatch watch;
  click_button(kClicks, 15);
  // All fifty requests reach the service while none has been answered: a
  // lookup run on the event loop's thread would wait for its answer, and the
  // later clicks would never be handled.
  ASSERT_TRUE(pump_until([&] { return service.arrived() == kClicks; }, seconds(60)))
      << service.arrived() << " requests arrived";
  EXPECT_EQ(clicks_.clicks, kClicks);
  EXPECT_EQ(service.in_flight(), kClicks);
  EXPECT_EQ(win_->lookups_running(), kClicks);
  EXPECT_EQ(win_->透明标签4->text(), "");  // emptied by the workers, not yet written
  EXPECT_GT(watch.ticks(), 20);
  EXPECT_LT(watch.longest_gap_seconds(), 1.0);

  watch.reset();
  service.open();
  ASSERT_TRUE(lookups_done(kClicks));
  EXPECT_LT(watch.longest_gap_seconds(), 1.0);
  setenv("CATEGORY_SERVICE_URL", service_url_.c_str(), 1);

  const std::vector<int> finished = service.finished();
  ASSERT_EQ(finished.size(), static_cast<size_t>(kClicks));
  EXPECT_EQ(service.peak_in_flight(), kClicks);
  // The label holds one worker's category, written after every other clear.
  const std::string shown = win_->透明标签4->label();
  EXPECT_TRUE(shown.starts_with("类目")) << shown;
  bool among_answers = false;
  for (int n = 0; n < kClicks; ++n)
    among_answers = among_answers || shown == name(n);
  EXPECT_TRUE(among_answers) << shown;
}

// ---------------------------------------------------------------- the program as a process

struct DisplayCloser {
  void operator()(Display* d) const { XCloseDisplay(d); }
};
using DisplayPtr = std::unique_ptr<Display, DisplayCloser>;

// The top-level window of process `pid` once it is mapped (0 when none
// appears within `limit`). FLTK names its windows' owners with _NET_WM_PID.
Window wait_for_mapped_window(Display* d, pid_t pid, Clock::duration limit) {
  const Atom pid_atom = XInternAtom(d, "_NET_WM_PID", False);
  const auto end = Clock::now() + limit;
  while (Clock::now() < end) {
    Window root_ret, parent;
    Window* children = nullptr;
    unsigned int count = 0;
    if (XQueryTree(d, DefaultRootWindow(d), &root_ret, &parent, &children, &count) != 0) {
      std::unique_ptr<Window, int (*)(void*)> owned(children, XFree);
      for (unsigned int i = 0; i < count; ++i) {
        Atom type;
        int format;
        unsigned long items, after;
        unsigned char* data = nullptr;
        if (XGetWindowProperty(d, children[i], pid_atom, 0, 1, False, XA_CARDINAL, &type, &format,
                               &items, &after, &data) != Success ||
            data == nullptr) {
          continue;
        }
        const long owner = items == 1 ? *reinterpret_cast<long*>(data) : -1;
        XFree(data);
        XWindowAttributes attrs;
        if (owner == pid && XGetWindowAttributes(d, children[i], &attrs) != 0 &&
            attrs.map_state == IsViewable) {
          return children[i];
        }
      }
    }
    std::this_thread::sleep_for(milliseconds(10));
  }
  return 0;
}

// What a window manager sends when the window's close button is pressed.
void send_delete_window(Display* d, Window w) {
  XEvent e{};
  e.xclient.type = ClientMessage;
  e.xclient.window = w;
  e.xclient.message_type = XInternAtom(d, "WM_PROTOCOLS", False);
  e.xclient.format = 32;
  e.xclient.data.l[0] = static_cast<long>(XInternAtom(d, "WM_DELETE_WINDOW", False));
  e.xclient.data.l[1] = CurrentTime;
  XSendEvent(d, w, False, NoEventMask, &e);
  XFlush(d);
}

// category-lookup as a child process, its output in a file.
class Program {
 public:
  Program() {
    char name[] = "/tmp/category-lookup-out-XXXXXX";
    const int fd = mkstemp(name);
    if (fd >= 0) ::close(fd);
    out_path_ = name;
  }
  ~Program() {
    if (pid_ > 0 && !status_) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
    }
    ::unlink(out_path_.c_str());
  }

  bool start() {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, out_path_.c_str(), O_WRONLY | O_TRUNC, 0);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    char* argv[] = {const_cast<char*>(CATEGORY_LOOKUP_PROGRAM), nullptr};
    const int rc = posix_spawn(&pid_, CATEGORY_LOOKUP_PROGRAM, &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    return rc == 0;
  }
  pid_t pid() const { return pid_; }

  // The exit status once the process has ended, waiting at most `limit`.
  std::optional<int> wait(Clock::duration limit) {
    const auto end = Clock::now() + limit;
    while (!status_ && Clock::now() < end) {
      int status = 0;
      if (::waitpid(pid_, &status, WNOHANG) == pid_) {
        status_ = status;
      } else {
        std::this_thread::sleep_for(milliseconds(5));
      }
    }
    return status_;
  }
  std::string output() const {
    std::ifstream in(out_path_);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
  }

 private:
  std::string out_path_;
  pid_t pid_ = -1;
  std::optional<int> status_;
};

// The program's window closed while lookups wait on a service that does not
// answer: the program ends at once, with status 0 and no sanitizer report.
TEST(ProgramWindow, ClosingWithLookupsInFlightEndsTheProgramAtOnce) {
  if (std::getenv("DISPLAY") == nullptr) GTEST_SKIP() << "no X display";
  enum class Close { escape_key, window_manager };
  struct Row {
    const char* what;
    Close close;
    int clicks;
  };
  const Row rows[] = {
      {"Escape, three lookups in flight", Close::escape_key, 3},
      {"close request, three lookups in flight", Close::window_manager, 3},
      {"close request, no lookup", Close::window_manager, 0},
  };
  DisplayPtr display(XOpenDisplay(nullptr));
  ASSERT_NE(display, nullptr);

  for (const Row& r : rows) {
    SCOPED_TRACE(r.what);
    HeldService service([](int) { return milliseconds(0); }, [](int) { return "连衣裙"; });
    ASSERT_TRUE(service.start());
    setenv("CATEGORY_SERVICE_URL", service.url().c_str(), 1);
    Program program;
    ASSERT_TRUE(program.start());
    unsetenv("CATEGORY_SERVICE_URL");

    const Window w = wait_for_mapped_window(display.get(), program.pid(), seconds(30));
    ASSERT_NE(w, 0u) << program.output();
    int left = 0, top = 0;
    Window child;
    XTranslateCoordinates(display.get(), w, DefaultRootWindow(display.get()), 0, 0, &left, &top,
                          &child);
    // The query button's centre, then a point on the window away from it.
    const std::string button =
        std::to_string(left + 391 + 32) + " " + std::to_string(top + 39 + 16);
    const std::string inside = std::to_string(left + 30) + " " + std::to_string(top + 120);

    if (r.clicks > 0) {
      const std::string click = "xdotool mousemove " + button + " click --repeat " +
                                std::to_string(r.clicks) + " --delay 50 1";
      ASSERT_EQ(std::system(click.c_str()), 0);
      const auto end = Clock::now() + seconds(30);
      while (service.arrived() < r.clicks && Clock::now() < end)
        std::this_thread::sleep_for(milliseconds(10));
      ASSERT_EQ(service.arrived(), r.clicks);
    }

    const auto closed_at = Clock::now();
    if (r.close == Close::escape_key) {
      ASSERT_EQ(std::system(("xdotool mousemove " + inside + " key Escape").c_str()), 0);
    } else {
      send_delete_window(display.get(), w);
    }
    const std::optional<int> status = program.wait(seconds(10));
    const double took = duration<double>(Clock::now() - closed_at).count();
    ASSERT_TRUE(status.has_value()) << "still running 10 s after the close";
    EXPECT_LT(took, 2.0);
    EXPECT_TRUE(WIFEXITED(*status)) << "status " << *status;
    EXPECT_EQ(WEXITSTATUS(*status), 0);
    // The workers were still waiting for their answers when the program ended.
    EXPECT_EQ(service.in_flight(), r.clicks);
    EXPECT_TRUE(service.finished().empty());
    const std::string output = program.output();
    EXPECT_EQ(output.find("Sanitizer"), std::string::npos) << output;
    EXPECT_EQ(output.find("runtime error"), std::string::npos) << output;
  }
}

}  // namespace
