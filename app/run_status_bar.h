#pragma once

#include <QElapsedTimer>
#include <QStatusBar>
#include <QTimer>
#include <cstddef>
#include <functional>

class QLabel;
class QProgressBar;

namespace mirelay {

// "残り約 …": the time a run still needs, rounded to what a person reads at a glance.
QString TimeLeftText(double secondsLeft);

// The thin bar at the bottom of the window while a run is busy: pairs done of all and the time
// left. Hidden otherwise, so the window at rest keeps its designed layout.
class RunStatusBar : public QStatusBar {
 public:
  explicit RunStatusBar(QWidget* parent = nullptr);

  // Shows the bar and follows `pairsDone` (read from the GUI thread) until stop().
  void start(std::size_t total, std::function<std::size_t()> pairsDone);
  void stop();

 private:
  void refresh();

  QProgressBar* bar_;
  QLabel* timeLeft_;
  QTimer refreshTimer_;
  QElapsedTimer elapsed_;
  std::function<std::size_t()> pairsDone_;
  std::size_t total_ = 0;
};

}  // namespace mirelay
