#pragma once

#include <QMainWindow>
#include <atomic>
#include <functional>
#include <memory>
#include <string>

#include "batch/background_batch.h"
#include "batch/image_file_finder.h"
#include "batch/pair_settings.h"
#include "imaging/bitmap.h"
#include "settings/ini_profile.h"
#include "settings/settings.h"

class QAction;
class QListWidget;
class QMenu;
class QMenuBar;

namespace mirelay {

class PreviewControl;
class RunStatusBar;

// The main window: menu commands and list clicks enter here as handlers; the work is done by
// the core in imaging/ and batch/.
class TForm1 : public QMainWindow {
  Q_OBJECT
 public:
  // `executablePath` decides where the settings file and the three folders are.
  explicit TForm1(std::string executablePath, QWidget* parent = nullptr);
  ~TForm1() override;

  // Controls, under their designer names.
  PreviewControl* Image1 = nullptr;
  QListWidget* List1 = nullptr;
  QListWidget* List2 = nullptr;
  QMenuBar* MainMenu1 = nullptr;
  QAction* SearchFolder1 = nullptr;
  QAction* Merge1 = nullptr;
  QAction* Mergejpg1 = nullptr;
  QAction* JQ1 = nullptr;
  QAction* cutoff1 = nullptr;
  QMenu* Name1 = nullptr;
  QAction* Seperator1 = nullptr;
  QAction* BP1 = nullptr;
  QAction* PB1 = nullptr;
  QAction* progress1 = nullptr;
  QAction* abort1 = nullptr;
  QAction* Quit1 = nullptr;

  // Handlers.
  void FormResize();
  bool FormCloseQuery() const { return !FBusy; }
  void FormClose();
  void Quit1Click();
  void SearchFolder1Click();
  void MergePNGClick();
  void MergeJPGClick();
  void progress1Click();
  void abort1Click() { RequestAbort(); }
  void JQ1Click();
  void cutoff1Click();
  void Seperator1Click();
  void BP1Click();
  void PB1Click();
  void List1Click();
  void List2Click();

  bool MergePair(const std::string& basePath, const std::string& partPath);
  void FitPreview();
  void RunBatch(std::int32_t code);

  void EnterBusy();
  void LeaveBusy();
  void RequestAbort();
  bool Busy() const { return FBusy; }
  // Worker threads of the output commands (at least one).
  void SetBatchWorkers(unsigned count);

  // The folder that holds the executable, ending with "/".
  std::string ApplicationFolder() const;
  // The full path held by a list entry.
  static std::string EntryPath(const QListWidget* list, int row);
  QSize ClientSize() const;

  // Asks the desktop to open a folder; tests replace it so no file manager opens.
  std::function<void(const QString& folder)> openFolder;
  // Called on the batch's worker thread after each pair, before that worker starts another;
  // tests pause or disturb a run here.
  std::function<void(const PairOutcome&)> afterPair;

  Settings settings;
  std::unique_ptr<TFnd> Finder;
  Bitmap BaseBitmap;
  Bitmap PartBitmap;
  // Indices of the latest pair started, written by the batch's worker threads.
  std::atomic<int> ProgressBaseIndex{0};
  std::atomic<int> ProgressPartIndex{0};

 protected:
  void closeEvent(QCloseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;
  void showEvent(QShowEvent* event) override;

 private:
  void FormCreate();
  void CreateControls();
  void CreateMenu();
  void ApplyGeometry(const WindowGeometry& geometry);
  void FitGeometryToFrame(const WindowGeometry& geometry);
  void SetNameOrderChecks();
  void SaveSettingsOnClose();
  BatchJob WindowJob(std::int32_t code);
  BatchObserver WindowObserver();
  void FinishRun(const BatchReport& report);
  // Hands the settings a pair is named and composited with to the batch's workers.
  void PublishPairSettings();
  void SetInputCommandsEnabled(bool enabled);
  void ConnectListClicks(QListWidget* list, void (TForm1::*handler)());
  QAction* AddCommand(QWidget* menu, const QString& caption, void (TForm1::*handler)());
  // Runs a handler; any error it raises is shown by the default error report.
  void Guarded(const std::function<void()>& handler);

  std::string executablePath_;
  IniProfile profile_;
  WindowGeometry savedGeometry_;
  bool frameFitted_ = false;
  bool settingsSaveFailed_ = false;
  bool FBusy = false;
  bool FAbort = false;
  unsigned batchWorkers_ = 1;
  SharedPairSettings pairSettings_;
  std::atomic<std::size_t> pairsFinished_{0};
  RunStatusBar* runStatus_ = nullptr;
  // Last, so it is stopped and joined before anything its workers reach is destroyed.
  std::unique_ptr<BackgroundBatch> batch_;
};

}  // namespace mirelay
