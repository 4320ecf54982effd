#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <thread>

#include "app/gif_preview/gif_buffer.h"
#include "app/gif_preview/gif_paint_settings.h"
#include "app/gif_preview/gif_steps.h"
#include "imaging/gif/gif_image.h"

namespace mirelay {

// The thread that animates one graphic: it makes each frame's picture and keeps time on its
// own thread, and hands every drawing into the buffer to the GUI thread through the channel.
class GifPainter {
 public:
  // Called on the GUI thread with each frame as it is drawn and the wait that preceded it.
  using ScheduleHook = std::function<void(std::size_t frame, std::chrono::milliseconds wait)>;

  // Registers with `channel` and starts the thread; `settings`, `buffer` and `channel` must
  // outlive it.
  GifPainter(std::shared_ptr<const GifImage> image, const GifPaintSettings& settings,
             GuiStepChannel& channel, AnimationBuffer& buffer, ScheduleHook hook);
  // Waits for the thread: stop the channel first unless the animation has ended.
  ~GifPainter();

  GifPainter(const GifPainter&) = delete;
  GifPainter& operator=(const GifPainter&) = delete;
  GifPainter(GifPainter&&) = delete;
  GifPainter& operator=(GifPainter&&) = delete;

  // Painter threads alive in the process, for checking that none outlives its graphic.
  static int LiveThreads();

 private:
  void Run();
  bool PlayFrame(std::size_t index);

  std::shared_ptr<const GifImage> image_;
  const GifPaintSettings& settings_;
  GuiStepChannel& channel_;
  AnimationBuffer& buffer_;
  ScheduleHook hook_;
  // The frame on show, whose delay the next wait takes; none before frame 0.
  const GifFrame* shown_ = nullptr;
  std::chrono::milliseconds overrun_{0};
  std::thread thread_;
};

}  // namespace mirelay
