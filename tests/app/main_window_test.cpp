#include "app/main_window.h"

#include <gtest/gtest.h>

#include <FL/Fl.H>
#include <FL/fl_draw.H>
// After gtest: the X headers define macros (None, Bool) that clash with it.
#include <FL/x.H>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <future>
#include <mutex>
#include <string>
#include <vector>

#include "platform/codepage.h"

// Fontconfig keeps allocations of the fonts Xft opened for the window until
// the process ends; those are the library's, not leaks of ours.
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libfontconfig.so\n";
}

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::seconds;

std::string cp936(const char* utf8) {
  return platform::utf8_to_cp936(utf8);
}

// Runs the event loop until `done` holds or `limit` passes; true when it holds.
bool pump_until(const std::function<bool()>& done, Clock::duration limit = seconds(10)) {
  const auto end = Clock::now() + limit;
  while (!done()) {
    if (Clock::now() > end) return false;
    Fl::wait(0.02);
  }
  return true;
}

// Runs the event loop for a short while so that pending drawing is done.
void settle() {
  for (int i = 0; i < 10; ++i)
    Fl::wait(0.01);
  Fl::flush();
}

class MainWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (std::getenv("DISPLAY") == nullptr) GTEST_SKIP() << "no X display";
    static const bool locked = [] {
      Fl::lock();  // as the program does: turns on FLTK's thread support
      return true;
    }();
    (void)locked;
    win_ = std::make_unique<app::MainWindow>();
    win_->show();
    ASSERT_TRUE(pump_until([&] { return win_->shown() && win_->visible(); }));
    settle();
  }

  void TearDown() override {
    if (win_) {
      // Every worker started by the test ends before the window goes.
      EXPECT_TRUE(pump_until([&] { return win_->lookups_running() == 0; }));
      win_->hide();
      win_.reset();
      Fl::wait(0.01);
    }
  }

  // The window's pixels inside a rectangle of its client area, as RGB.
  std::vector<unsigned char> pixels(int x, int y, int w, int h) {
    settle();
    win_->make_current();
    std::vector<unsigned char> rgb(static_cast<size_t>(w) * h * 3);
    fl_read_image(rgb.data(), x, y, w, h);
    return rgb;
  }

  // How many pixels inside the rectangle differ from the window's background.
  int ink(int x, int y, int w, int h) {
    unsigned char r, g, b;
    Fl::get_color(win_->color(), r, g, b);
    const auto rgb = pixels(x, y, w, h);
    int n = 0;
    for (size_t i = 0; i < rgb.size(); i += 3) {
      if (rgb[i] != r || rgb[i + 1] != g || rgb[i + 2] != b) ++n;
    }
    return n;
  }

  std::unique_ptr<app::MainWindow> win_;
};

TEST_F(MainWindowTest, PlaceAndSizeOnScreen) {
  EXPECT_EQ(win_->x(), 50);
  EXPECT_EQ(win_->y(), 50);
  EXPECT_EQ(win_->w(), 466);
  EXPECT_EQ(win_->h(), 141);
  EXPECT_EQ(platform::utf8_to_cp936(win_->label()), cp936("商品类目查询"));

  // As the X server has it (no window manager frame under Xvfb).
  XWindowAttributes attrs;
  ASSERT_NE(XGetWindowAttributes(fl_display, fl_xid(win_.get()), &attrs), 0);
  int root_x = 0, root_y = 0;
  Window child;
  XTranslateCoordinates(fl_display, fl_xid(win_.get()), attrs.root, 0, 0, &root_x, &root_y, &child);
  EXPECT_EQ(root_x, 50);
  EXPECT_EQ(root_y, 50);
  EXPECT_EQ(attrs.width, 466);
  EXPECT_EQ(attrs.height, 141);
}

TEST_F(MainWindowTest, ControlsPlacesAndStartTexts) {
  struct Row {
    const char* name;
    Fl_Widget* widget;
    int x, y, w, h;
    std::string text;
  };
  const Row rows[] = {
      {"透明标签2", win_->透明标签2, 8, 0, 552, 32,
       cp936("链接格式：https://item.example-market.com/item.htm?id=616943008327")},
      {"透明标签1", win_->透明标签1, 8, 40, 64, 32, cp936("商品链接：")},
      {"编辑框1", win_->编辑框1, 67, 40, 317, 32, ""},
      {"按钮1", win_->按钮1, 391, 39, 64, 32, cp936("查询")},
      {"透明标签3", win_->透明标签3, 8, 81, 56, 32, cp936("商品类目：")},
      {"透明标签4", win_->透明标签4, 67, 81, 389, 32, ""},
  };
  ASSERT_EQ(win_->children(), static_cast<int>(std::size(rows)));
  for (const auto& r : rows) {
    SCOPED_TRACE(r.name);
    ASSERT_NE(r.widget, nullptr);
    EXPECT_EQ(r.widget->parent(), win_.get());
    EXPECT_EQ(r.widget->x(), r.x);
    EXPECT_EQ(r.widget->y(), r.y);
    EXPECT_EQ(r.widget->w(), r.w);
    EXPECT_EQ(r.widget->h(), r.h);
    EXPECT_TRUE(r.widget->visible());
    if (auto* label = dynamic_cast<app::TransLabel*>(r.widget)) {
      EXPECT_EQ(label->text(), r.text);
      EXPECT_EQ(label->box(), FL_NO_BOX);  // no background of its own
      EXPECT_EQ(label->align(), FL_ALIGN_LEFT | FL_ALIGN_INSIDE | FL_ALIGN_CLIP);
      EXPECT_EQ(label->labelfont(), app::cjk_font());
      EXPECT_EQ(label->labelsize(), 12);
    }
  }
  EXPECT_EQ(platform::utf8_to_cp936(win_->编辑框1->value()), "");
  EXPECT_EQ(win_->编辑框1->textfont(), app::cjk_font());
  EXPECT_EQ(platform::utf8_to_cp936(win_->按钮1->label()), cp936("查询"));
  EXPECT_EQ(win_->按钮1->labelfont(), app::cjk_font());
  EXPECT_STREQ(Fl::get_font(app::cjk_font()), " WenQuanYi Micro Hei");
}

// Each caption's ink fits its control at 12 pixels; the sample link alone runs
// past the window's edge, as its control does.
TEST_F(MainWindowTest, CaptionsFitTheirControls) {
  win_->make_current();
  struct Row {
    const char* name;
    Fl_Widget* widget;
  };
  const Row rows[] = {
      {"透明标签1", win_->透明标签1},
      {"按钮1", win_->按钮1},
      {"透明标签3", win_->透明标签3},
  };
  for (const auto& r : rows) {
    fl_font(r.widget->labelfont(), r.widget->labelsize());
    int dx = 0, dy = 0, w = 0, h = 0;
    fl_text_extents(r.widget->label(), dx, dy, w, h);
    EXPECT_GT(w, 0) << r.name;
    EXPECT_LE(dx + w, r.widget->w()) << r.name;
    EXPECT_LE(h, r.widget->h()) << r.name;
  }
}

TEST_F(MainWindowTest, LabelsDrawOnlyInsideTheirRectangle) {
  app::TransLabel* caption = win_->透明标签3;
  app::TransLabel* result = win_->透明标签4;
  const int right_of_caption = caption->x() + caption->w();

  // The captions are drawn.
  EXPECT_GT(ink(caption->x(), caption->y(), caption->w(), caption->h()), 20);
  EXPECT_GT(ink(win_->透明标签1->x(), 40, 64, 32), 20);

  // A caption far too long for its control stops at the control's right edge,
  // also when the whole window is drawn afresh (as after being uncovered).
  caption->set_text(cp936("商品类目：商品类目：商品类目："));
  EXPECT_EQ(ink(right_of_caption, 81, win_->w() - right_of_caption, 32), 0);
  win_->redraw();
  EXPECT_EQ(ink(right_of_caption, 81, win_->w() - right_of_caption, 32), 0);
  EXPECT_GT(ink(caption->x(), 81, caption->w(), 32), 20);

  // The result label shows its text, and emptying it erases the old text even
  // though it has no background to paint.
  result->set_text(cp936("连衣裙"));
  EXPECT_GT(ink(result->x(), result->y(), result->w(), result->h()), 20);
  result->set_text("");
  EXPECT_EQ(ink(result->x(), result->y(), result->w(), result->h()), 0);
}

// What the request step of a lookup saw; its answer is held back until the
// test releases it.
struct HeldFetch {
  std::mutex mutex;
  std::vector<std::string> bodies;
  std::string url;
  std::promise<void> release;
  std::shared_future<void> released = release.get_future().share();
  std::string answer;

  app::CategoryFetch step() {
    return [this](const std::string& u, const std::string& body) {
      {
        std::lock_guard lock(mutex);
        url = u;
        bodies.push_back(body);
      }
      released.wait_for(seconds(30));
      return answer;
    };
  }
  size_t count() {
    std::lock_guard lock(mutex);
    return bodies.size();
  }
};

TEST_F(MainWindowTest, ClickRunsTheLookupOnAWorker) {
  HeldFetch held;
  held.answer = cp936("连衣裙");
  win_->set_fetch(held.step());
  win_->编辑框1->value("https://item.example-market.com/商品/item.htm?id=616943008327");
  win_->透明标签4->set_text(cp936("旧的结果"));

  win_->按钮1->do_callback();
  // The click returned while its worker is still held inside the request.
  EXPECT_EQ(win_->lookups_running(), 1);

  // The UI thread keeps handling events while the worker waits.
  bool timer_ran = false;
  Fl::add_timeout(
      0.05, [](void* flag) { *static_cast<bool*>(flag) = true; }, &timer_ran);
  ASSERT_TRUE(pump_until([&] { return held.count() == 1 && timer_ran; }));
  EXPECT_EQ(win_->透明标签4->text(), "");  // emptied before the request
  EXPECT_EQ(win_->lookups_running(), 1);
  {
    std::lock_guard lock(held.mutex);
    EXPECT_EQ(held.bodies[0], "ids%5B%5D=616943008327");
    EXPECT_EQ(held.url, app::service_url());
  }

  held.release.set_value();
  ASSERT_TRUE(pump_until([&] { return win_->lookups_running() == 0; }));
  EXPECT_EQ(win_->透明标签4->text(), cp936("连衣裙"));
}

TEST_F(MainWindowTest, LinkWithDoubleByteIdReachesTheBodyInCodePage936) {
  HeldFetch held;
  held.release.set_value();
  win_->set_fetch(held.step());
  win_->编辑框1->value("https://item.example-market.com/item.htm?id=连衣裙");
  win_->按钮1->do_callback();
  ASSERT_TRUE(pump_until([&] { return win_->lookups_running() == 0; }));
  ASSERT_EQ(held.count(), 1u);
  EXPECT_EQ(held.bodies[0], "ids%5B%5D=" + cp936("连衣裙"));
}

TEST_F(MainWindowTest, OneMegabyteLink) {
  HeldFetch held;
  held.release.set_value();
  win_->set_fetch(held.step());
  const std::string id(1 << 20, '9');
  const std::string link = "https://item.example-market.com/item.htm?id=" + id;
  win_->编辑框1->value(link.c_str());
  win_->按钮1->do_callback();
  ASSERT_TRUE(pump_until([&] { return win_->lookups_running() == 0; }));
  ASSERT_EQ(held.count(), 1u);
  EXPECT_EQ(held.bodies[0], "ids%5B%5D=" + id);
}

// Real X input: a click into the link box, typing, Return, then a click of the
// button. Each starts one lookup with the typed link.
TEST_F(MainWindowTest, TypingReturnAndClickingWithRealInput) {
  HeldFetch held;
  held.release.set_value();
  win_->set_fetch(held.step());

  auto centre = [&](Fl_Widget* w) {
    return std::to_string(win_->x() + w->x() + w->w() / 2) + " " +
           std::to_string(win_->y() + w->y() + w->h() / 2);
  };
  const std::string type = "xdotool mousemove " + centre(win_->编辑框1) +
                           " click 1 sleep 0.2 type --delay 5 'https://h.example/item.htm?id=42'";
  ASSERT_EQ(std::system(type.c_str()), 0);
  ASSERT_TRUE(pump_until([&] { return std::string(win_->编辑框1->value()).ends_with("id=42"); }));

  ASSERT_EQ(std::system("xdotool key Return"), 0);
  ASSERT_TRUE(pump_until([&] { return held.count() == 1; }));

  const std::string click = "xdotool mousemove " + centre(win_->按钮1) + " click 1";
  ASSERT_EQ(std::system(click.c_str()), 0);
  ASSERT_TRUE(pump_until([&] { return held.count() == 2; }));
  ASSERT_TRUE(pump_until([&] { return win_->lookups_running() == 0; }));

  std::lock_guard lock(held.mutex);
  EXPECT_EQ(held.bodies, std::vector<std::string>(2, "ids%5B%5D=42"));
}

}  // namespace
