// The setting dialogs: quality, threshold, separator and name order.
#include <string>

#include "app/ask_text.h"
#include "app/main_window.h"
#include "settings/setting_rules.h"

namespace mirelay {

// A value outside the accepted qualities becomes the default even on Cancel, which hands back
// the current value: one read from the settings file may lie outside them.
void MainWindow::askQuality() {
  const std::string text = AskText(this, "JPEG 画質", "0 から 100 の間で指定してください。",
                                   std::to_string(settings_.jpegQuality));
  settings_.jpegQuality = JpegQualityFromText(text);
}

void MainWindow::askThreshold() {
  const std::string text = AskText(this, "透過閾値", "0 から 120 くらいの間で指定してください。",
                                   std::to_string(settings_.threshold));
  settings_.threshold = ThresholdFromText(text);
  publishPairSettings();
}

// The preview follows at once, as the outputs will.
void MainWindow::toggleAlphaBlend() {
  settings_.alphaBlend = alphaBlendAction_->isChecked();
  publishPairSettings();
  previewPart();
}

void MainWindow::askSeparator() {
  const std::string text =
      AskText(this, "名前の区切り文字", "空欄でも構いません。", settings_.separator);
  if (IsRefusedSeparator(text)) return;
  settings_.separator = text;
  publishPairSettings();
}

void MainWindow::chooseBaseFirst() {
  settings_.nameOrder = NameOrder::BaseFirst();
  updateNameOrderChecks();
  publishPairSettings();
}

void MainWindow::choosePartFirst() {
  settings_.nameOrder = NameOrder::PartFirst();
  updateNameOrderChecks();
  publishPairSettings();
}

}  // namespace mirelay
