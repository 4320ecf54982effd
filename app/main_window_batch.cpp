// Input, the output commands that hand their pairs to the batch engine, progress and abort.
#include <sys/stat.h>

#include <QFile>
#include <QListWidget>

#include "app/error_report.h"
#include "app/main_window.h"
#include "app/run_status_bar.h"
#include "batch/folder_listing.h"
#include "batch/picture_memory.h"
#include "imaging/image_lib.h"
#include "settings/setting_rules.h"

namespace mirelay {

namespace {

bool IsFolder(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

void FillList(QListWidget* list, const std::vector<std::string>& paths) {
  list->clear();
  for (const auto& path : paths) {
    auto* item = new QListWidgetItem(QFile::decodeName(QByteArray::fromStdString(path)), list);
    item->setData(Qt::UserRole, QByteArray::fromStdString(path));
  }
}

}  // namespace

void TForm1::SearchFolder1Click() {
  if (FBusy) return;
  const std::string folder = ApplicationFolder();
  const std::string baseFolder = folder + "base", partFolder = folder + "part";
  for (const auto& required : {baseFolder, partFolder, folder + "out"}) {
    if (!IsFolder(required)) {
      ShowMessage(this, "フォルダと画像ファイルを用意してください。");
      return;
    }
  }
  const auto bases = ListImageFiles(*Finder, baseFolder);
  const auto parts = ListImageFiles(*Finder, partFolder);
  FillList(List1, bases);
  FillList(List2, parts);
}

void TForm1::MergePNGClick() { RunBatch(kFormatPng); }

void TForm1::MergeJPGClick() { RunBatch(settings.JPEGQuality); }

void TForm1::SetInputCommandsEnabled(bool enabled) {
  for (auto* command : {SearchFolder1, Merge1, Mergejpg1}) command->setEnabled(enabled);
}

void TForm1::RunBatch(std::int32_t code) {
  if (FBusy) return;
  // The separator box refuses such text, but the settings file may hold it.
  if (SeparatorLeavesOutputFolder(settings.Seperator)) {
    ShowMessage(this, "区切り文字に / は使えません。区切り文字を設定し直してください。");
    return;
  }
  BatchJob job = WindowJob(code);
  const std::size_t total = job.bases.size() * job.parts.size();
  EnterBusy();
  // Nothing may change the lists or start a second run while the workers go through them.
  SetInputCommandsEnabled(false);
  PublishPairSettings();
  pairsFinished_ = 0;
  runStatus_->Start(total, [this] { return pairsFinished_.load(); });
  batch_ = std::make_unique<BackgroundBatch>(
      std::move(job), WindowObserver(), [this](const BatchReport& report) {
        QMetaObject::invokeMethod(
            this, [this, report] { Guarded([&] { FinishRun(report); }); }, Qt::QueuedConnection);
      });
}

BatchJob TForm1::WindowJob(std::int32_t code) {
  BatchJob job;
  for (int row = 0; row < List1->count(); ++row) job.bases.push_back(EntryPath(List1, row));
  for (int row = 0; row < List2->count(); ++row) job.parts.push_back(EntryPath(List2, row));
  job.outFolder = ApplicationFolder() + "out/";
  job.code = code;
  job.currentSettings = [this] { return pairSettings_.Get(); };
  job.anyErrorEndsRun = true;
  job.jobs = batchWorkers_;
  return job;
}

BatchObserver TForm1::WindowObserver() {
  BatchObserver observer;
  observer.started = [this](const BatchPair& pair) {
    ProgressBaseIndex = static_cast<int>(pair.base);
    ProgressPartIndex = static_cast<int>(pair.part);
  };
  observer.finished = [this](const PairOutcome& outcome) {
    ++pairsFinished_;
    if (afterPair) afterPair(outcome);
  };
  return observer;
}

void TForm1::FinishRun(const BatchReport& report) {
  batch_.reset();
  runStatus_->Stop();
  SetInputCommandsEnabled(true);
  LeaveBusy();
  ReleaseFreedPictureMemory();
  if (report.failure) {
    ShowErrorReport(this, QByteArray::fromStdString(report.failure->reason));
  } else if (report.written > 0) {
    openFolder(QFile::decodeName(QByteArray::fromStdString(ApplicationFolder() + "out/")));
  }
}

void TForm1::PublishPairSettings() {
  pairSettings_.Set({settings.Seperator, settings.NameOrder, settings.Threshold});
}

void TForm1::progress1Click() {
  if (!FBusy) return;
  const long long done =
      static_cast<long long>(List2->count()) * ProgressBaseIndex + ProgressPartIndex + 1;
  const long long total = static_cast<long long>(List1->count()) * List2->count();
  ShowMessage(this, QStringLiteral("%1/%2").arg(done).arg(total));
}

}  // namespace mirelay
