#pragma once

#include <QMainWindow>
#include <functional>
#include <memory>
#include <string>

#include "app/profile/ini_profile.h"
#include "app/profile/settings.h"
#include "batch/t_find.h"
#include "imaging/bitmap.h"

class QAction;
class QListWidget;
class QMenu;
class QMenuBar;

namespace mirelay {

class PreviewControl;

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
  void RequestAbort() { FAbort = true; }
  bool Busy() const { return FBusy; }

  // The folder that holds the executable, ending with "/".
  std::string ApplicationFolder() const;
  // The full path held by a list entry.
  static std::string EntryPath(const QListWidget* list, int row);
  QSize ClientSize() const;

  // Asks the desktop to open a folder; tests replace it so no file manager opens.
  std::function<void(const QString& folder)> openFolder;
  // Processes the pending GUI events once after every pair of a batch.
  std::function<void()> pumpMessages;

  Settings settings;
  std::unique_ptr<TFnd> Finder;
  Bitmap BaseBitmap;
  Bitmap PartBitmap;
  int ProgressBaseIndex = 0;
  int ProgressPartIndex = 0;

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
  void RunPairs(std::int32_t code, bool& wroteFile);
  void SetInputCommandsEnabled(bool enabled);
  void ConnectListClicks(QListWidget* list, void (TForm1::*handler)());
  QAction* AddCommand(QWidget* menu, const QString& caption, void (TForm1::*handler)());
  // Runs a handler; any error it raises is shown by the default error report.
  void Guarded(const std::function<void()>& handler);

  std::string executablePath_;
  IniProfile profile_;
  WindowGeometry savedGeometry_;
  bool frameFitted_ = false;
  bool FBusy = false;
  bool FAbort = false;
};

}  // namespace mirelay
