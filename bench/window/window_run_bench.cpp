// The window's 出力.png run, timed in-process: wall time per pair and the longest gap between
// ticks of a 10 ms timer on the GUI thread while the run is busy (how long the window could
// not answer). Prints one line of figures; run it offscreen on a workload folder made by
// bench/batch_workload.py.
//
// usage: mirelay_window_bench [--jobs N] [--jpeg] WORKSPACE   (--jpeg: the 出力.jpg run)
#include <sys/resource.h>

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QListWidget>
#include <QTimer>
#include <cstdio>

#include "app/main_window.h"

namespace {

struct Figures {
  double seconds = 0;
  double longestGapMs = 0;
  long ticks = 0;
};

Figures RunOutput(mirelay::MainWindow& window, const char* action) {
  Figures figures;
  QElapsedTimer sinceTick;
  QTimer ticker;
  ticker.setInterval(10);
  QObject::connect(&ticker, &QTimer::timeout, [&] {
    figures.longestGapMs = std::max(figures.longestGapMs, sinceTick.nsecsElapsed() / 1e6);
    ++figures.ticks;
    sinceTick.start();
  });
  QElapsedTimer wall;
  wall.start();
  sinceTick.start();
  ticker.start();
  window.findChild<QAction*>(action)->trigger();
  while (window.isBusy()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
  figures.seconds = wall.nsecsElapsed() / 1e9;
  figures.longestGapMs = std::max(figures.longestGapMs, sinceTick.nsecsElapsed() / 1e6);
  return figures;
}

}  // namespace

int main(int argc, char* argv[]) {
  QApplication application(argc, argv);
  QStringList arguments = QApplication::arguments().mid(1);
  unsigned jobs = 1;
  if (arguments.size() >= 3 && arguments[0] == "--jobs") {
    jobs = arguments[1].toUInt();
    arguments = arguments.mid(2);
  }
  const char* action = "Merge1";
  if (arguments.size() == 2 && arguments[0] == "--jpeg") {
    action = "Mergejpg1";
    arguments = arguments.mid(1);
  }
  if (arguments.size() != 1 || jobs == 0) {
    std::fprintf(stderr, "usage: mirelay_window_bench [--jobs N] [--jpeg] WORKSPACE\n");
    return 2;
  }
  mirelay::MainWindow window(arguments[0].toStdString() + "/mirelay");
  window.setOpenFolder([](const QUrl&) {});
  window.setBatchWorkers(jobs);
  window.findChild<QAction*>("SearchFolder1")->trigger();
  const long pairs = static_cast<long>(window.findChild<QListWidget*>("List1")->count()) *
                     window.findChild<QListWidget*>("List2")->count();
  const Figures figures = RunOutput(window, action);
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  std::printf(
      "pairs %ld jobs %u seconds %.3f ms_per_pair %.1f longest_gap_ms %.1f ticks %ld "
      "peak_rss_mib %.0f\n",
      pairs, jobs, figures.seconds, 1000 * figures.seconds / std::max(1L, pairs),
      figures.longestGapMs, figures.ticks, usage.ru_maxrss / 1024.0);
  return 0;
}
