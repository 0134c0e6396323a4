// The COM apartment start and end of the calling thread.
//
// On Linux there is no COM: the apartment is a per-thread count, so tests can
// check that every routine that starts one also ends it, on every path.
#pragma once

namespace platform {

// CoInitialize(nullptr) for the calling thread; the result is not examined.
void co_initialize();
// CoUninitialize for the calling thread. Unbalanced calls leave the count at 0.
void co_uninitialize();

// How many starts on this thread are not yet ended.
int apartment_depth();
// The highest depth this thread has reached since the last reset (for tests).
int apartment_peak_depth();
void reset_apartment_peak();

// Brackets a routine's use of automation: starts the apartment on construction,
// ends it on destruction, so the end runs on every path.
class ComApartment {
 public:
  ComApartment() { co_initialize(); }
  ~ComApartment() { co_uninitialize(); }
  ComApartment(const ComApartment&) = delete;
  ComApartment& operator=(const ComApartment&) = delete;
};

}  // namespace platform
