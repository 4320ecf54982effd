// The preview: list clicks and the fitting rule.
#include <QListWidget>
#include <string>

#include "app/load_image_to_view.h"
#include "app/main_window.h"
#include "app/path_list.h"
#include "app/preview_control.h"
#include "batch/overlay.h"
#include "files/file_status.h"
#include "files/input_file.h"
#include "imaging/image_lib.h"

namespace mirelay {

namespace {

std::string SelectedPath(const QListWidget* list) {
  const int row = list->currentRow();
  return row < 0 || !list->item(row)->isSelected() ? std::string() : PathListEntry(list, row);
}

// Parts are decoded with their alpha, whether it lays them on or only shows the hint.
DecodeOptions PartDecodeOptions() {
  DecodeOptions options = WindowDecodeOptions();
  options.readAlpha = true;
  return options;
}

bool PartHasTransparentPixels(const std::string& part) {
  Bitmap picture;
  LoadImageToBitmap(part, picture, PartDecodeOptions());
  return HasTransparentPixels(picture);
}

}  // namespace

void MainWindow::previewBase() {
  if (busy_) return;
  const std::string base = SelectedPath(baseList_);
  if (base.empty() || !FileExists(base)) return;
  LoadImageToView(base, *preview_, WindowDecodeOptions());
  fitPreview();
  showAlphaHint(false);
}

// The part alone while no base is selected, otherwise the composite of the two.
void MainWindow::previewPart() {
  if (busy_) return;
  const std::string base = SelectedPath(baseList_);
  const std::string part = SelectedPath(partList_);
  if (part.empty() || !FileExists(part)) return;
  if (base.empty() || !FileExists(base)) {
    LoadImageToView(part, *preview_, WindowDecodeOptions());
    fitPreview();
    showAlphaHint(!settings_.alphaBlend && PartHasTransparentPixels(part));
  } else if (MergePair(base, part, baseBitmap_, partBitmap_, settings_.threshold,
                       PartDecodeOptions(), settings_.alphaBlend)) {
    const bool hint = !settings_.alphaBlend && HasTransparentPixels(partBitmap_);
    // The working image keeps alpha only while it lays the part on.
    if (!settings_.alphaBlend) partBitmap_.alpha = {};
    Bitmap composite = baseBitmap_;
    composite.transparency.enabled = false;
    preview_->ShowBitmap(composite);
    fitPreview();
    showAlphaHint(hint);
  }
}

void MainWindow::fitPreview() {
  preview_->SetStretch(false);
  preview_->SetAutoSize(true);
  const QSize natural = preview_->NaturalSize();
  preview_->SetAutoSize(false);
  const long long available = clientSize().width() - preview_->x();
  if (available >= natural.width()) return;
  preview_->SetStretch(true);
  long long width = available;
  long long height = natural.height() * available / natural.width();
  if (clientSize().height() < height) {
    height = clientSize().height();
    width = natural.width() * height / natural.height();
  }
  preview_->resize(static_cast<int>(width), static_cast<int>(height));
}

}  // namespace mirelay
