// The main window: the link box, the query button and four transparent labels.
//
// Texts cross into FLTK as UTF-8 and come back as code page 936; everything on
// the program's side of a widget is code page 936.
#pragma once

#include <FL/Fl_Box.H>
#include <FL/Fl_Button.H>
#include <FL/Fl_Double_Window.H>
#include <FL/Fl_Input.H>

#include <memory>
#include <string>
#include <string_view>

#include "app/lookup.h"

namespace app {

// The CJK font every control uses (WenQuanYi Micro Hei) and its size in pixels.
Fl_Font cjk_font();
inline constexpr int kFontSize = 12;

// A static text drawn over its parent's background, with no background of its
// own: left-aligned on one line, centred vertically, clipped to its rectangle.
class TransLabel : public Fl_Box {
 public:
  TransLabel(int x, int y, int w, int h);

  // Shows a code page 936 text (up to its first zero byte).
  void set_text(std::string_view text);
  // The shown text in code page 936.
  std::string text() const;

 protected:
  void draw() override;
};

class ControlsLink;

// The window of the tool. Its controls are children of the window, which owns
// them; the members below only point at them.
class MainWindow : public Fl_Double_Window {
 public:
  // Outer size and design position of the window.
  static constexpr int kLeft = 50, kTop = 50, kWidth = 466, kHeight = 141;

  MainWindow();
  ~MainWindow() override;
  MainWindow(const MainWindow&) = delete;
  MainWindow& operator=(const MainWindow&) = delete;

  TransLabel* 透明标签2;  // the expected form of a link
  TransLabel* 透明标签1;  // caption of the link box
  Fl_Input* 编辑框1;      // the product link
  Fl_Button* 按钮1;       // starts one lookup per click
  TransLabel* 透明标签3;  // caption of the result
  TransLabel* 透明标签4;  // the result label

  // The request step each lookup started from now on hands its body to.
  void set_fetch(CategoryFetch fetch) { fetch_ = std::move(fetch); }

  // Starts one lookup on a detached worker thread and returns at once; what a
  // click of 按钮1 does. A thread that cannot be started is ignored.
  void start_lookup();

  // Lookups started from this window that have not yet ended.
  int lookups_running() const;

 private:
  std::shared_ptr<ControlsLink> link_;
  CategoryFetch fetch_;
};

}  // namespace app
