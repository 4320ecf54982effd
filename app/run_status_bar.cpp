#include "app/run_status_bar.h"

#include <QLabel>
#include <QProgressBar>
#include <algorithm>
#include <cmath>
#include <utility>

namespace mirelay {

namespace {

constexpr int kRefreshMilliseconds = 200;
constexpr int kBarSteps = 1000;

}  // namespace

QString TimeLeftText(double secondsLeft) {
  const long long seconds = std::llround(std::max(0.0, secondsLeft));
  if (seconds < 60) return QStringLiteral("残り約 %1 秒").arg(seconds);
  const long long minutes = (seconds + 30) / 60;
  if (minutes < 60) return QStringLiteral("残り約 %1 分").arg(minutes);
  return QStringLiteral("残り約 %1 時間 %2 分").arg(minutes / 60).arg(minutes % 60);
}

RunStatusBar::RunStatusBar(QWidget* parent)
    : QStatusBar(parent), bar_(new QProgressBar(this)), timeLeft_(new QLabel(this)) {
  setSizeGripEnabled(false);
  bar_->setRange(0, kBarSteps);
  bar_->setMaximumHeight(fontMetrics().height());
  addWidget(bar_, 1);
  addPermanentWidget(timeLeft_);
  refreshTimer_.setInterval(kRefreshMilliseconds);
  connect(&refreshTimer_, &QTimer::timeout, this, [this] { refresh(); });
  hide();
}

void RunStatusBar::start(std::size_t total, std::function<std::size_t()> pairsDone) {
  total_ = total;
  pairsDone_ = std::move(pairsDone);
  elapsed_.start();
  refresh();
  show();
  refreshTimer_.start();
}

void RunStatusBar::stop() {
  refreshTimer_.stop();
  hide();
}

void RunStatusBar::refresh() {
  const std::size_t done = pairsDone_();
  bar_->setValue(total_ == 0 ? kBarSteps : static_cast<int>(done * kBarSteps / total_));
  bar_->setFormat(QStringLiteral("%1 / %2").arg(done).arg(total_));
  if (done == 0) {
    timeLeft_->setText(QStringLiteral("残り時間を計算中"));
    return;
  }
  const double perPair = elapsed_.elapsed() / 1000.0 / static_cast<double>(done);
  timeLeft_->setText(TimeLeftText(perPair * static_cast<double>(total_ - done)));
}

}  // namespace mirelay
