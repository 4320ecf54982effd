// The setting dialogs: quality, threshold, separator and name order.
#include <QAction>

#include "app/ask_text.h"
#include "app/main_window.h"
#include "settings/integer_parser.h"
#include "settings/setting_rules.h"

namespace mirelay {

namespace {

constexpr std::int32_t kDefaultQuality = 90;
constexpr std::int32_t kLowestQuality = 5;
constexpr std::int32_t kHighestQuality = 100;

}  // namespace

void TForm1::JQ1Click() {
  const std::string text = AskText(this, "JPEG 画質", "0 から 100 の間で指定してください。",
                                   std::to_string(settings.JPEGQuality));
  settings.JPEGQuality = ParseInteger(text).value_or(kDefaultQuality);
  if (settings.JPEGQuality < kLowestQuality || settings.JPEGQuality > kHighestQuality) {
    settings.JPEGQuality = kDefaultQuality;
  }
}

void TForm1::cutoff1Click() {
  const std::string text = AskText(this, "透過閾値", "0 から 120 くらいの間で指定してください。",
                                   std::to_string(settings.Threshold));
  settings.Threshold = ParseInteger(text).value_or(0);
  PublishPairSettings();
}

void TForm1::Seperator1Click() {
  const std::string text =
      AskText(this, "名前の区切り文字", "空欄でも構いません。", settings.Seperator);
  if (IsRefusedSeparator(text)) return;
  settings.Seperator = text;
  PublishPairSettings();
}

void TForm1::BP1Click() {
  BP1->setChecked(true);
  PB1->setChecked(false);
  settings.NameOrder = 1;
  PublishPairSettings();
}

void TForm1::PB1Click() {
  PB1->setChecked(true);
  BP1->setChecked(false);
  settings.NameOrder = 2;
  PublishPairSettings();
}

}  // namespace mirelay
