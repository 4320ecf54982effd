#include "app/gif_preview/gif_steps.h"

#include <cstddef>
#include <utility>

namespace mirelay {

GuiStepChannel::GuiStepChannel(std::function<void()> wakeGui) : wakeGui_(std::move(wakeGui)) {}

void GuiStepChannel::Enter(const GifPainter* painter) {
  std::lock_guard guard(lock_);
  painters_.push_back(painter);
  changed_.notify_all();
}

void GuiStepChannel::Leave(const GifPainter* painter) {
  std::lock_guard guard(lock_);
  std::erase(painters_, painter);
  changed_.notify_all();
}

bool GuiStepChannel::RunOnGui(std::function<void()> work) {
  auto step = std::make_shared<Step>(Step{std::move(work)});
  {
    std::lock_guard guard(lock_);
    if (stopping_) return false;
    pending_.push_back(step);
    changed_.notify_all();
  }
  wakeGui_();
  std::unique_lock guard(lock_);
  changed_.wait(guard, [&] { return step->done || stopping_; });
  // The GUI thread takes steps only while not stopping and finishes each before it can
  // stop, so an unfinished step is still pending here.
  if (!step->done) std::erase(pending_, step);
  return step->done;
}

bool GuiStepChannel::Wait(std::chrono::milliseconds duration) {
  std::unique_lock guard(lock_);
  return !changed_.wait_for(guard, duration, [&] { return stopping_; });
}

void GuiStepChannel::ServePending() {
  // Only what is pending now: a painter with no delay must not keep the GUI thread here.
  std::size_t count;
  {
    std::lock_guard guard(lock_);
    count = pending_.size();
  }
  for (; count > 0; --count) {
    std::shared_ptr<Step> step;
    {
      std::lock_guard guard(lock_);
      if (stopping_ || pending_.empty()) return;
      step = std::move(pending_.front());
      pending_.pop_front();
    }
    step->work();
    std::lock_guard guard(lock_);
    step->done = true;
    changed_.notify_all();
  }
}

void GuiStepChannel::ServeWhile(const std::function<bool()>& waiting) {
  std::unique_lock guard(lock_);
  while (!painters_.empty() && waiting()) {
    if (!stopping_ && !pending_.empty()) {
      guard.unlock();
      ServePending();
      guard.lock();
      continue;
    }
    changed_.wait(guard);
  }
}

void GuiStepChannel::StopAll() {
  {
    std::lock_guard guard(lock_);
    stopping_ = true;
    changed_.notify_all();
  }
  ServeWhile([] { return true; });
}

bool GuiStepChannel::AnyPainter() const {
  std::lock_guard guard(lock_);
  return !painters_.empty();
}

}  // namespace mirelay
