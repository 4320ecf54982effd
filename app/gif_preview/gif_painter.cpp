#include "app/gif_preview/gif_painter.h"

#include <algorithm>
#include <atomic>
#include <new>
#include <system_error>
#include <utility>

#include "app/gif_preview/gif_frame_image.h"
#include "app/gif_preview/gif_timing.h"

namespace mirelay {

namespace {

using Clock = std::chrono::steady_clock;

std::atomic<int> liveThreads{0};

// Passes the animation makes, 0 meaning forever, once the first pass has met `loop` (or not).
int PassCount(const GifDrawOptions& options, const GifLoopExtension* loop) {
  if (options.loopForever) return 0;
  if (!options.loop || loop == nullptr) return 1;
  return loop->loopCount;
}

}  // namespace

GifPainter::GifPainter(std::shared_ptr<const GifImage> image, const GifPaintSettings& settings,
                       GuiStepChannel& channel, AnimationBuffer& buffer, ScheduleHook hook)
    : image_(std::move(image)),
      settings_(settings),
      channel_(channel),
      buffer_(buffer),
      hook_(std::move(hook)) {
  channel_.Enter(this);
  ++liveThreads;
  try {
    thread_ = std::thread([this] {
      // A painter short of memory or of a lock leaves the buffer as it is; anything else is a
      // fault and ends the program rather than hiding.
      try {
        Run();
      } catch (const std::bad_alloc&) {
      } catch (const std::system_error&) {
      }
      channel_.Leave(this);
      --liveThreads;
    });
  } catch (...) {
    channel_.Leave(this);
    --liveThreads;
    throw;
  }
}

GifPainter::~GifPainter() { thread_.join(); }

int GifPainter::LiveThreads() { return liveThreads; }

void GifPainter::Run() {
  const auto& frames = image_->frames;
  const GifLoopExtension* loop = nullptr;
  std::size_t loopStart = 0;
  for (std::size_t index = 0; index < frames.size(); ++index) {
    if (loop == nullptr && frames[index].LoopExtension() != nullptr) {
      loop = frames[index].LoopExtension();
      loopStart = index;
    }
    if (!PlayFrame(index)) return;
  }
  const int passes = PassCount(settings_.drawOptions, loop);
  int pass = 1;
  while (passes == 0 || pass++ < passes) {
    for (std::size_t index = loopStart; index < frames.size(); ++index) {
      if (!PlayFrame(index)) return;
    }
  }
}

bool GifPainter::PlayFrame(std::size_t index) {
  const auto& frame = image_->frames[index];
  // Made before the wait, so that the wait absorbs the time it takes.
  QImage picture = FrameImage(*image_, frame, settings_);
  std::chrono::milliseconds wait{0};
  if (shown_ != nullptr) {
    wait = FrameWait(*shown_, settings_.animationSpeed, overrun_);
    overrun_ = std::chrono::milliseconds(0);
    if (wait.count() > 0) {
      const auto start = Clock::now();
      if (!channel_.Wait(wait)) return false;
      const auto waited =
          std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start);
      overrun_ = std::max(waited - wait, std::chrono::milliseconds(0));
    }
  }
  const bool drawn = channel_.RunOnGui([this, index, picture = std::move(picture), wait] {
    buffer_.Show(index, picture);
    if (hook_) hook_(index, wait);
  });
  shown_ = &frame;
  return drawn;
}

}  // namespace mirelay
