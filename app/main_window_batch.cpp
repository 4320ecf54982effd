// Input, the output commands that hand their pairs to the batch engine, progress and abort.
#include <QByteArray>
#include <QListWidget>
#include <QMetaObject>
#include <QUrl>
#include <memory>
#include <string>
#include <utility>

#include "app/error_report.h"
#include "app/load_image_to_view.h"
#include "app/main_window.h"
#include "app/path_list.h"
#include "app/run_status_bar.h"
#include "batch/folder_listing.h"
#include "batch/picture_memory.h"
#include "files/file_status.h"
#include "imaging/image_lib.h"
#include "settings/setting_rules.h"

namespace mirelay {

namespace {

// Percent-encoded from the bytes, so that a folder whose name is not UTF-8 is the one opened.
QUrl LocalFolderUrl(const std::string& path) {
  return QUrl::fromEncoded("file://" + QByteArray::fromStdString(path).toPercentEncoding("/"));
}

}  // namespace

void MainWindow::onInput() {
  if (busy_) return;
  const std::string& folder = folders_.folder;
  const std::string baseFolder = folder + kBaseFolderName, partFolder = folder + kPartFolderName;
  for (const auto& required : {baseFolder, partFolder, folder + kOutFolderName}) {
    if (!FolderExists(required)) {
      ShowMessage(this, "フォルダと画像ファイルを用意してください。");
      return;
    }
  }
  const auto bases = ListImageFiles(*finder_, baseFolder);
  const auto parts = ListImageFiles(*finder_, partFolder);
  FillPathList(baseList_, bases);
  FillPathList(partList_, parts);
}

void MainWindow::onOutputPng() { runBatch(kFormatPng); }

void MainWindow::onOutputJpeg() { runBatch(settings_.jpegQuality); }

void MainWindow::runBatch(std::int32_t code) {
  if (busy_) return;
  // The separator box refuses such text, but the settings file may hold it.
  if (SeparatorLeavesOutputFolder(settings_.separator)) {
    ShowMessage(this, "区切り文字に / は使えません。区切り文字を設定し直してください。");
    return;
  }
  BatchJob job = windowJob(code);
  const std::size_t total = job.bases.size() * job.parts.size();
  enterBusy();
  publishPairSettings();
  pairsFinished_ = 0;
  runStatus_->start(total, [this] { return pairsFinished_.load(); });
  batch_ = std::make_unique<BackgroundBatch>(
      std::move(job), windowObserver(), [this](const BatchReport& report) {
        QMetaObject::invokeMethod(
            this, [this, report] { guarded([&] { finishRun(report); }); }, Qt::QueuedConnection);
      });
}

BatchJob MainWindow::windowJob(std::int32_t code) const {
  BatchJob job;
  for (int row = 0; row < baseList_->count(); ++row) {
    job.bases.push_back(PathListEntry(baseList_, row));
  }
  for (int row = 0; row < partList_->count(); ++row) {
    job.parts.push_back(PathListEntry(partList_, row));
  }
  job.outFolder = folders_.folder + kOutFolderName + "/";
  job.output = OutputFormatForCode(code);
  job.currentSettings = [this] { return pairSettings_.Get(); };
  job.anyErrorEndsRun = true;
  job.paletteDisplay = WindowDecodeOptions().paletteDisplay;
  job.jobs = batchWorkers_;
  job.workerNice = batchWorkerNice_;
  return job;
}

BatchObserver MainWindow::windowObserver() {
  BatchObserver observer;
  observer.started = [this](const BatchPair& pair) {
    progressBaseIndex_ = static_cast<int>(pair.base);
    progressPartIndex_ = static_cast<int>(pair.part);
  };
  observer.finished = [this](const PairOutcome& outcome) {
    ++pairsFinished_;
    if (afterPair_) afterPair_(outcome);
  };
  return observer;
}

void MainWindow::finishRun(const BatchReport& report) {
  batch_.reset();
  runStatus_->stop();
  leaveBusy();
  ReleaseFreedPictureMemory();
  if (report.failure) {
    ShowErrorReport(this, QByteArray::fromStdString(report.failure->reason.display));
  } else if (report.flushFailure) {
    ShowErrorReport(this, QByteArray::fromStdString(report.flushFailure->display));
  } else if (report.written > 0) {
    openFolder_(LocalFolderUrl(folders_.folder + kOutFolderName + "/"));
  }
}

void MainWindow::publishPairSettings() {
  pairSettings_.Set(
      {settings_.separator, settings_.nameOrder, settings_.threshold, settings_.alphaBlend});
}

void MainWindow::showProgress() {
  if (!busy_) return;
  const long long done =
      static_cast<long long>(partList_->count()) * progressBaseIndex_ + progressPartIndex_ + 1;
  const long long total = static_cast<long long>(baseList_->count()) * partList_->count();
  ShowMessage(this, QStringLiteral("%1/%2").arg(done).arg(total));
}

}  // namespace mirelay
