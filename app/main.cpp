// category-lookup: opens the main window and runs it until it is closed.

#include <FL/Fl.H>

#include <cstdio>
#include <cstdlib>

#include "app/main_window.h"

int main() {
  // Workers reach the controls under FLTK's lock; taking it here first turns
  // on FLTK's thread support, and the event loop releases it while it waits.
  Fl::lock();
  app::MainWindow window;
  window.show();
  Fl::run();
  // Closing the window ends the program at once: lookups still in flight are
  // not waited for, and no destructor runs under a worker's feet.
  std::fflush(nullptr);
  std::_Exit(EXIT_SUCCESS);
}
