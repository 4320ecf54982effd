// The window's 出力.png run, timed in-process: wall time per pair and the longest gap between
// ticks of a 10 ms timer on the GUI thread while the run is busy (how long the window could
// not answer). Prints one line of figures; run it offscreen on a workload folder made by
// bench/batch_workload.py.
//
// Halfway through, it opens 進捗 and times how long the box takes to come up.
//
// usage: mirelay_window_bench [--jobs N] [--worker-nice N] [--jpeg] WORKSPACE
//   (--jpeg: the 出力.jpg run; --worker-nice: what the workers add to their nice value, 10)
#include <sys/resource.h>

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QListWidget>
#include <QTimer>
#include <QWindow>
#include <atomic>
#include <cstdio>
#include <memory>

#include "app/main_window.h"

namespace {

struct Figures {
  double seconds = 0;
  double longestGapMs = 0;
  long ticks = 0;
  double progressBoxMs = 0;
};

// Halfway through the run, as a user would, asks for 進捗 and times it from the request until
// the box is on the screen, then closes it.
void OpenProgressHalfway(mirelay::MainWindow& window, long pairs, Figures& figures) {
  auto finished = std::make_shared<std::atomic<long>>(0);
  auto requested = std::make_shared<QElapsedTimer>();
  window.setAfterPair([&window, &figures, pairs, finished, requested](const auto&) {
    if (++*finished != pairs / 2) return;
    requested->start();
    QMetaObject::invokeMethod(
        &window,
        [&window, &figures, requested] {
          // The box counts as open once the display shows it (under X, once the server has
          // mapped it), which a starved X server or GUI thread delays.
          auto* poll = new QTimer(&window);
          poll->setInterval(1);
          QObject::connect(poll, &QTimer::timeout, [&figures, requested, poll] {
            QWidget* box = QApplication::activeModalWidget();
            if (box == nullptr || box->windowHandle() == nullptr ||
                !box->windowHandle()->isExposed()) {
              return;
            }
            figures.progressBoxMs = requested->nsecsElapsed() / 1e6;
            poll->deleteLater();
            box->close();
          });
          poll->start();
          window.findChild<QAction*>("progress1")->trigger();
        },
        Qt::QueuedConnection);
  });
}

void RunOutput(mirelay::MainWindow& window, const char* action, Figures& figures) {
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
}

}  // namespace

int main(int argc, char* argv[]) {
  QApplication application(argc, argv);
  QStringList arguments = QApplication::arguments().mid(1);
  unsigned jobs = 1;
  int workerNice = 10;
  if (arguments.size() >= 3 && arguments[0] == "--jobs") {
    jobs = arguments[1].toUInt();
    arguments = arguments.mid(2);
  }
  if (arguments.size() >= 3 && arguments[0] == "--worker-nice") {
    workerNice = arguments[1].toInt();
    arguments = arguments.mid(2);
  }
  const char* action = "Merge1";
  if (arguments.size() == 2 && arguments[0] == "--jpeg") {
    action = "Mergejpg1";
    arguments = arguments.mid(1);
  }
  if (arguments.size() != 1 || jobs == 0) {
    std::fprintf(stderr,
                 "usage: mirelay_window_bench [--jobs N] [--worker-nice N] [--jpeg] WORKSPACE\n");
    return 2;
  }
  mirelay::MainWindow window(arguments[0].toStdString() + "/mirelay");
  window.setOpenFolder([](const QUrl&) {});
  window.setBatchWorkers(jobs);
  window.setBatchWorkerNice(workerNice);
  window.findChild<QAction*>("SearchFolder1")->trigger();
  const long pairs = static_cast<long>(window.findChild<QListWidget*>("List1")->count()) *
                     window.findChild<QListWidget*>("List2")->count();
  Figures figures;
  OpenProgressHalfway(window, pairs, figures);
  RunOutput(window, action, figures);
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  std::printf(
      "pairs %ld jobs %u seconds %.3f ms_per_pair %.1f longest_gap_ms %.1f ticks %ld "
      "progress_box_ms %.1f peak_rss_mib %.0f\n",
      pairs, jobs, figures.seconds, 1000 * figures.seconds / std::max(1L, pairs),
      figures.longestGapMs, figures.ticks, figures.progressBoxMs, usage.ru_maxrss / 1024.0);
  return 0;
}
