#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

namespace mirelay {

class GifPainter;

// Where a graphic's painter threads hand their drawing steps to the GUI thread. One lock
// guards the painter list, the pending steps and the stop flag; every change of them wakes
// all waiters, so no wait depends on a wake-up that could be missed.
//
// The GUI thread never blocks on a painter except in ServeWhile, which keeps serving steps
// while it waits; a painter only ever waits for its own step or for a timeout, and both waits
// end at once when the channel stops. Hence no cycle of waits can form.
class GuiStepChannel {
 public:
  // `wakeGui` must arrange, from any thread, for ServePending to run soon on the GUI thread.
  explicit GuiStepChannel(std::function<void()> wakeGui);

  // GUI thread: registers a painter before its thread starts.
  void Enter(const GifPainter* painter);
  // Painter thread: the painter's last act.
  void Leave(const GifPainter* painter);

  // Painter thread: runs `step` on the GUI thread and waits for it. False when the channel
  // stopped first; the step then never runs.
  bool RunOnGui(std::function<void()> step);
  // Painter thread: sleeps for `duration` unless the channel stops first (then false).
  bool Wait(std::chrono::milliseconds duration);

  // GUI thread: runs the steps that are pending now.
  void ServePending();
  // GUI thread: serves steps until `waiting` (called under the lock) turns false or no
  // painter is left.
  void ServeWhile(const std::function<bool()>& waiting);
  // GUI thread: stops every painter and waits until all have left.
  void StopAll();

  bool AnyPainter() const;

 private:
  struct Step {
    std::function<void()> work;
    bool done = false;
  };

  std::function<void()> wakeGui_;
  mutable std::mutex lock_;
  std::condition_variable changed_;
  std::vector<const GifPainter*> painters_;
  std::deque<std::shared_ptr<Step>> pending_;
  bool stopping_ = false;
};

}  // namespace mirelay
