#pragma once

#include <QMainWindow>
#include <QUrl>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/folder_hint_list.h"
#include "batch/background_batch.h"
#include "batch/image_file_finder.h"
#include "batch/pair_settings.h"
#include "batch/parallel_batch.h"
#include "imaging/bitmap.h"
#include "settings/ini_profile.h"
#include "settings/settings.h"
#include "settings/working_folders.h"

class QAction;
class QLabel;
class QListWidget;
class QMenu;

namespace mirelay {

class PreviewControl;
class RunStatusBar;

// The main window: menu commands and list clicks enter here as handlers; the work is done by
// the core in imaging/ and batch/. Its controls carry their designed names as objectName
// ("Form1", "List1", "Merge1", ...), by which tests find them.
class MainWindow : public QMainWindow {
  Q_OBJECT
 public:
  // `folders` says where the settings file and the three folders are.
  explicit MainWindow(WorkingFolders folders, QWidget* parent = nullptr);
  // Everything beside the executable at `executablePath`, as in a copy the user owns.
  explicit MainWindow(const std::string& executablePath, QWidget* parent = nullptr);
  ~MainWindow() override;

  // Worker threads of the output commands (at least one).
  void setBatchWorkers(unsigned count);
  // What the workers add to their nice value (10 unless the benchmark compares).
  void setBatchWorkerNice(int increment) { batchWorkerNice_ = increment; }

  // What tests and the benchmark observe or replace besides the controls.
  bool isBusy() const { return busy_; }
  const Settings& settings() const { return settings_; }
  // Asks the desktop to open a folder; tests replace it so no file manager opens.
  void setOpenFolder(std::function<void(const QUrl& folder)> openFolder);
  // Tells, under the folder's name in each empty pane, why the working folder could not be made.
  void showFolderProblems(const std::vector<std::string>& problems);
  // Called on the batch's worker thread after each pair, before that worker starts another;
  // tests pause or disturb a run here.
  void setAfterPair(std::function<void(const PairOutcome&)> afterPair);

 protected:
  void closeEvent(QCloseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;
  void showEvent(QShowEvent* event) override;

 private slots:
  void onInput();
  void onOutputPng();
  void onOutputJpeg();
  void askQuality();
  void askThreshold();
  void toggleAlphaBlend();
  void askSeparator();
  void chooseBaseFirst();
  void choosePartFirst();
  void showProgress();
  void requestAbort();
  void previewBase();
  void previewPart();

 private:
  void createControls();
  void openInDesktop(const QUrl& folder);
  void createActions();
  QAction* addCommand(QWidget* menu, const char* objectName, const QString& caption,
                      void (MainWindow::*handler)());
  void connectListClicks(QListWidget* list, void (MainWindow::*handler)());
  // Which commands are enabled follows from the busy state alone.
  void updateActions();
  void updateNameOrderChecks();
  // Settings, name-order checks, the finder's extensions and the saved geometry, from the file.
  void loadSettings();
  void applyGeometry(const WindowGeometry& geometry);
  void fitGeometryToFrame(const WindowGeometry& geometry);
  void layOutControls();
  void fitPreview();
  // The note under the preview that the previewed part has alpha the colour key ignores.
  void showAlphaHint(bool shown);
  void placeAlphaHint();
  bool routeSharedMnemonic(QObject* watched, QEvent* event);
  QSize clientSize() const;
  void saveSettingsOnClose();
  void releaseResources();

  void runBatch(std::int32_t code);
  BatchJob windowJob(std::int32_t code) const;
  BatchObserver windowObserver();
  void finishRun(const BatchReport& report);
  // Hands the settings a pair is named and composited with to the batch's workers.
  void publishPairSettings();
  void enterBusy();
  void leaveBusy();

  // Runs a handler; any error it raises is shown by the default error report.
  void guarded(const std::function<void()>& handler);

  PreviewControl* preview_ = nullptr;
  FolderHintList* baseList_ = nullptr;
  FolderHintList* partList_ = nullptr;
  QAction* inputAction_ = nullptr;
  QAction* outputPngAction_ = nullptr;
  QAction* outputJpegAction_ = nullptr;
  QAction* qualityAction_ = nullptr;
  QAction* thresholdAction_ = nullptr;
  QAction* alphaBlendAction_ = nullptr;
  QLabel* alphaHint_ = nullptr;
  QMenu* nameMenu_ = nullptr;
  QAction* separatorAction_ = nullptr;
  QAction* baseFirstAction_ = nullptr;
  QAction* partFirstAction_ = nullptr;
  QAction* progressAction_ = nullptr;
  QAction* abortAction_ = nullptr;
  QAction* quitAction_ = nullptr;
  RunStatusBar* runStatus_ = nullptr;

  WorkingFolders folders_;
  IniProfile profile_;
  Settings settings_;
  WindowGeometry savedGeometry_;
  std::unique_ptr<ImageFileFinder> finder_;
  Bitmap baseBitmap_;
  Bitmap partBitmap_;
  bool frameFitted_ = false;
  bool settingsSaveFailed_ = false;
  bool busy_ = false;
  std::function<void(const QUrl&)> openFolder_;
  std::function<void(const PairOutcome&)> afterPair_;
  unsigned batchWorkers_ = 1;
  // The workers yield to the window's own thread, which then opens 進捗 at once mid-run.
  int batchWorkerNice_ = 10;
  SharedPairSettings pairSettings_;
  // Indices of the latest pair started, written by the batch's worker threads.
  std::atomic<int> progressBaseIndex_{0};
  std::atomic<int> progressPartIndex_{0};
  std::atomic<std::size_t> pairsFinished_{0};
  // Last, so it is stopped and joined before anything its workers reach is destroyed.
  std::unique_ptr<BackgroundBatch> batch_;
};

}  // namespace mirelay
