#pragma once

#include <QColor>
#include <QImage>
#include <QObject>
#include <QPainter>
#include <QRect>
#include <functional>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include "app/gif_preview/gif_buffer.h"
#include "app/gif_preview/gif_paint_settings.h"
#include "app/gif_preview/gif_painter.h"
#include "app/gif_preview/gif_steps.h"
#include "imaging/gif/gif_image.h"

namespace mirelay {

// The preview's copy of a GIF graphic, which paints itself: one frame drawn directly, several
// frames animated by a painter thread into an off-screen buffer. Lives on the GUI thread.
class GifGraphic {
 public:
  // `changed` runs on the GUI thread whenever the animation has drawn a frame.
  GifGraphic(std::shared_ptr<const GifImage> image, const GifPaintSettings& settings,
             std::function<void()> changed);
  // Stops every painter and waits for it, serving its drawing steps meanwhile.
  ~GifGraphic();

  GifGraphic(const GifGraphic&) = delete;
  GifGraphic& operator=(const GifGraphic&) = delete;
  GifGraphic(GifGraphic&&) = delete;
  GifGraphic& operator=(GifGraphic&&) = delete;

  // The logical screen's size.
  QSize Size() const;
  // Draws into `destination`; `backdrop` is what the target shows behind the picture, which
  // an animation starts from.
  void Draw(QPainter& painter, const QRect& destination, const QColor& backdrop);
  bool Animating() const { return channel_.AnyPainter(); }
  // Set before the first paint to watch the animation's schedule.
  void SetScheduleHook(GifPainter::ScheduleHook hook) { hook_ = std::move(hook); }

 private:
  bool Animates() const;
  void DrawStill(QPainter& painter, const QRect& destination);
  void DrawAnimated(QPainter& painter, const QRect& destination, const QColor& backdrop);
  void StartAnimation(const QColor& backdrop);

  std::shared_ptr<const GifImage> image_;
  const GifPaintSettings settings_;
  std::function<void()> changed_;
  GifPainter::ScheduleHook hook_;
  std::optional<QImage> still_;
  // Receives the painters' wake-up calls on the GUI thread.
  QObject guiContext_;
  GuiStepChannel channel_;
  std::unique_ptr<AnimationBuffer> buffer_;
  bool firstFrameShown_ = false;
  std::vector<std::unique_ptr<GifPainter>> painters_;
};

}  // namespace mirelay
