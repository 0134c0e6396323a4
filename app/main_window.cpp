#include "app/main_window.h"

#include <FL/Fl.H>
#include <FL/fl_draw.H>

#include <atomic>
#include <thread>

#include "platform/codepage.h"
#include "text/text_rules.h"

namespace app {

Fl_Font cjk_font() {
  // A leading space asks Xft for the regular style of the fontconfig family.
  static const Fl_Font font = [] {
    Fl::set_font(FL_FREE_FONT, " WenQuanYi Micro Hei");
    return FL_FREE_FONT;
  }();
  return font;
}

namespace {

std::string utf8(std::string_view cp936) {
  return platform::cp936_to_utf8(textops::until_zero(cp936));
}

}  // namespace

// ---------------------------------------------------------------- TransLabel

TransLabel::TransLabel(int x, int y, int w, int h) : Fl_Box(FL_NO_BOX, x, y, w, h, nullptr) {
  labelfont(cjk_font());
  labelsize(kFontSize);
  align(FL_ALIGN_LEFT | FL_ALIGN_INSIDE | FL_ALIGN_CLIP);
}

void TransLabel::set_text(std::string_view text) {
  copy_label(utf8(text).c_str());
  // Without a background of its own the label cannot erase its old text: the
  // window redraws its background under the label's rectangle.
  if (Fl_Window* win = window()) {
    win->damage(FL_DAMAGE_ALL, x(), y(), w(), h());
  } else {
    redraw();
  }
}

std::string TransLabel::text() const {
  return label() != nullptr ? platform::utf8_to_cp936(label()) : std::string();
}

void TransLabel::draw() {
  if (label() == nullptr || *label() == '\0') return;
  fl_push_clip(x(), y(), w(), h());
  fl_font(labelfont(), labelsize());
  fl_color(active_r() ? labelcolor() : fl_inactive(labelcolor()));
  // Symbols ("@...") are off: a label shows its text as it is.
  fl_draw(label(), x(), y(), w(), h(), align(), nullptr, 0);
  fl_pop_clip();
}

// ---------------------------------------------------------------- the link to the controls

// What a worker reaches the controls through. Workers hold it by shared_ptr, so
// it outlives the window; the window detaches it when it goes, and a worker
// still running afterwards then reads "" and writes nowhere. Every access to a
// control is made under FLTK's lock.
class ControlsLink : public LookupControls {
 public:
  ControlsLink(Fl_Input* link_box, TransLabel* result) : link_box_(link_box), result_(result) {}

  void set_result(std::string text) override {
    Fl::lock();
    if (result_ != nullptr) result_->set_text(text);
    Fl::unlock();
    Fl::awake();  // the UI thread redraws the label
  }

  std::string read_link() override {
    Fl::lock();
    std::string utf8_link;
    if (link_box_ != nullptr) utf8_link.assign(link_box_->value(), link_box_->size());
    Fl::unlock();
    return platform::utf8_to_cp936(utf8_link);
  }

  void detach() {
    Fl::lock();
    link_box_ = nullptr;
    result_ = nullptr;
    Fl::unlock();
  }

  std::atomic<int> running{0};

 private:
  Fl_Input* link_box_;
  TransLabel* result_;
};

// ---------------------------------------------------------------- MainWindow

namespace {

// The window's texts, in code page 936.
struct Texts {
  std::string caption = platform::program_text("商品类目查询");
  std::string sample =
      platform::program_text("链接格式：https://item.example-market.com/item.htm?id=616943008327");
  std::string link_caption = platform::program_text("商品链接：");
  std::string query = platform::program_text("查询");
  std::string result_caption = platform::program_text("商品类目：");
};

const Texts& texts() {
  static const Texts t;
  return t;
}

TransLabel* make_label(int x, int y, int w, int h, std::string_view text) {
  auto* label = new TransLabel(x, y, w, h);  // owned by the current group, the window
  label->set_text(text);
  return label;
}

}  // namespace

MainWindow::MainWindow() : Fl_Double_Window(kLeft, kTop, kWidth, kHeight) {
  const Texts& t = texts();
  copy_label(utf8(t.caption).c_str());

  透明标签2 = make_label(8, 0, 552, 32, t.sample);
  透明标签1 = make_label(8, 40, 64, 32, t.link_caption);

  编辑框1 = new Fl_Input(67, 40, 317, 32);
  编辑框1->textfont(cjk_font());
  编辑框1->textsize(kFontSize);
  编辑框1->maximum_size(1 << 24);  // long links are taken whole
  // Return in the link box presses the query button.
  编辑框1->when(FL_WHEN_ENTER_KEY_ALWAYS);
  编辑框1->callback(
      [](Fl_Widget*, void* button) { static_cast<Fl_Button*>(button)->do_callback(); });

  按钮1 = new Fl_Button(391, 39, 64, 32);
  按钮1->copy_label(utf8(t.query).c_str());
  按钮1->labelfont(cjk_font());
  按钮1->labelsize(kFontSize);
  按钮1->callback([](Fl_Widget*, void* win) { static_cast<MainWindow*>(win)->start_lookup(); },
                  this);
  编辑框1->user_data(按钮1);

  透明标签3 = make_label(8, 81, 56, 32, t.result_caption);
  透明标签4 = make_label(67, 81, 389, 32, "");
  end();

  link_ = std::make_shared<ControlsLink>(编辑框1, 透明标签4);
}

MainWindow::~MainWindow() {
  link_->detach();
}

void MainWindow::start_lookup() {
  ++link_->running;
  try {
    std::thread([link = link_, fetch = fetch_] {
      lookup_category(*link, fetch);
      --link->running;
    }).detach();
  } catch (...) {
    --link_->running;
  }
}

int MainWindow::lookups_running() const {
  return link_->running.load();
}

}  // namespace app
