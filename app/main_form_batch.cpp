// Input, the batch run and its progress and abort commands.
#include <sys/stat.h>

#include <QFile>
#include <QListWidget>

#include "app/error_report.h"
#include "app/main_form.h"
#include "batch/batch_naming.h"
#include "batch/folder_listing.h"
#include "imaging/image_lib.h"

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
  EnterBusy();
  // Nothing may change the lists or start a second run while the loops index them.
  SetInputCommandsEnabled(false);
  bool wroteFile = false;
  try {
    RunPairs(code, wroteFile);
  } catch (...) {
    SetInputCommandsEnabled(true);
    LeaveBusy();
    throw;
  }
  SetInputCommandsEnabled(true);
  LeaveBusy();
  if (wroteFile)
    openFolder(QFile::decodeName(QByteArray::fromStdString(ApplicationFolder() + "out/")));
}

void TForm1::RunPairs(std::int32_t code, bool& wroteFile) {
  const std::string outFolder = ApplicationFolder() + "out/";
  const int baseCount = List1->count();
  for (int i = 0; i < baseCount; ++i) {
    ProgressBaseIndex = i;
    const std::string base = EntryPath(List1, i);
    const int partCount = List2->count();
    for (int j = 0; j < partCount; ++j) {
      ProgressPartIndex = j;
      const std::string part = EntryPath(List2, j);
      if (MergePair(base, part)) {
        const auto name = OutputFileName(base, part, settings.Seperator, settings.NameOrder, code);
        wroteFile =
            SaveBitmapAs(outFolder + name, &BaseBitmap, code) != kFormatUnknown || wroteFile;
      }
      pumpMessages();
      if (FAbort) return;
    }
  }
}

void TForm1::progress1Click() {
  if (!FBusy) return;
  const long long done =
      static_cast<long long>(List2->count()) * ProgressBaseIndex + ProgressPartIndex + 1;
  const long long total = static_cast<long long>(List1->count()) * List2->count();
  ShowMessage(this, QStringLiteral("%1/%2").arg(done).arg(total));
}

}  // namespace mirelay
