#pragma once

// Drives the window's background runs from a test: wait for a run to end, or hold the batch's
// worker after a chosen pair while the test acts on the GUI thread.

#include <QtTest>
#include <atomic>
#include <latch>

#include "app/main_window.h"

namespace mirelay::testing_support {

// Lets the event loop run until the window is idle again; false if it never gets there.
inline bool WaitForRunToEnd(const MainWindow& window) {
  return QTest::qWaitFor([&] { return !window.isBusy(); }, 30000);
}

// Holds the worker that finishes pair number `pairs` (counting from 1) until Release(). Use
// it with one worker, so no other pair moves meanwhile.
class PairGate {
 public:
  PairGate(MainWindow& window, int pairs) : window_(window) {
    window.setAfterPair([this, pairs](const PairOutcome&) {
      if (++finished_ != pairs) return;
      reached_ = true;
      released_.wait();
    });
  }
  ~PairGate() {
    Release();
    WaitForRunToEnd(window_);
    window_.setAfterPair(nullptr);
  }
  PairGate(const PairGate&) = delete;
  PairGate& operator=(const PairGate&) = delete;
  PairGate(PairGate&&) = delete;
  PairGate& operator=(PairGate&&) = delete;

  bool WaitUntilReached() const {
    return QTest::qWaitFor([this] { return reached_.load(); }, 30000);
  }
  void Release() {
    if (!releasedOnce_.exchange(true)) released_.count_down();
  }
  int Finished() const { return finished_; }

 private:
  MainWindow& window_;
  std::atomic<int> finished_{0};
  std::atomic<bool> reached_{false};
  std::atomic<bool> releasedOnce_{false};
  std::latch released_{1};
};

}  // namespace mirelay::testing_support
