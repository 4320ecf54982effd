// The preview: list clicks and the fitting rule.
#include <QListWidget>

#include "app/load_image_to_view.h"
#include "app/main_form.h"
#include "app/preview_control.h"
#include "batch/overlay.h"
#include "imaging/file_io.h"
#include "imaging/image_lib.h"

namespace mirelay {

namespace {

std::string SelectedPath(const QListWidget* list) {
  const int row = list->currentRow();
  return row < 0 || !list->item(row)->isSelected() ? std::string() : TForm1::EntryPath(list, row);
}

}  // namespace

bool TForm1::MergePair(const std::string& basePath, const std::string& partPath) {
  return mirelay::MergePair(basePath, partPath, BaseBitmap, PartBitmap, settings.Threshold,
                            PreviewDecodeOptions());
}

void TForm1::List1Click() {
  if (FBusy) return;
  const std::string base = SelectedPath(List1);
  if (base.empty() || !FileExists(base)) return;
  LoadImageToView(base, *Image1, PreviewDecodeOptions());
  FitPreview();
}

void TForm1::List2Click() {
  if (FBusy) return;
  const std::string base = SelectedPath(List1);
  const std::string part = SelectedPath(List2);
  if (part.empty() || !FileExists(part)) return;
  if (base.empty() || !FileExists(base)) {
    LoadImageToView(part, *Image1, PreviewDecodeOptions());
    FitPreview();
  } else if (MergePair(base, part)) {
    Bitmap composite = BaseBitmap;
    composite.transparency.enabled = false;
    Image1->ShowBitmap(composite);
    FitPreview();
  }
}

void TForm1::FitPreview() {
  Image1->SetStretch(false);
  Image1->SetAutoSize(true);
  const QSize natural = Image1->NaturalSize();
  Image1->SetAutoSize(false);
  const long long available = ClientSize().width() - Image1->x();
  if (available >= natural.width()) return;
  Image1->SetStretch(true);
  long long width = available;
  long long height = natural.height() * available / natural.width();
  if (ClientSize().height() < height) {
    height = ClientSize().height();
    width = natural.width() * height / natural.height();
  }
  Image1->resize(static_cast<int>(width), static_cast<int>(height));
}

}  // namespace mirelay
