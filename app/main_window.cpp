#include "app/main_window.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QFile>
#include <QFont>
#include <QFontDatabase>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QShortcutEvent>
#include <QStandardPaths>
#include <QStyledItemDelegate>
#include <QUrl>
#include <QWindow>
#include <algorithm>
#include <exception>
#include <thread>
#include <utility>

#include "app/error_report.h"
#include "app/preview_control.h"
#include "app/run_status_bar.h"

namespace mirelay {

namespace {

constexpr int kClientWidth = 1289;
constexpr int kClientHeight = 616;
constexpr int kListItemHeight = 12;

// List rows 12 pixels high, as designed, whatever the font would give.
class FixedHeightDelegate : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;
  QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    return {QStyledItemDelegate::sizeHint(option, index).width(), kListItemHeight};
  }
};

QFont WindowFont() {
  const QString designed = QStringLiteral("ＭＳ Ｐゴシック");
  QFont font(QFontDatabase::families().contains(designed) ? designed
                                                          : QStringLiteral("IPAPGothic"));
  font.setPixelSize(12);
  return font;
}

}  // namespace

MainWindow::MainWindow(WorkingFolders folders, QWidget* parent)
    : QMainWindow(parent),
      folders_(std::move(folders)),
      profile_(folders_.settingsFile),
      openFolder_([this](const QUrl& folder) { openInDesktop(folder); }) {
  setObjectName("Form1");
  setBatchWorkers(std::thread::hardware_concurrency());
  setWindowTitle("Mirelay " MIRELAY_VERSION);
  setFont(WindowFont());
  createControls();
  createActions();
  runStatus_ = new RunStatusBar(this);
  setStatusBar(runStatus_);
  resize(kClientWidth, kClientHeight + menuBar()->sizeHint().height());
  loadSettings();
  updateActions();
}

MainWindow::~MainWindow() = default;

MainWindow::MainWindow(const std::string& executablePath, QWidget* parent)
    : MainWindow(FoldersBesideExecutable(executablePath), parent) {}

void MainWindow::createControls() {
  auto* client = new QWidget(this);
  client->setBackgroundRole(QPalette::Button);
  client->setAutoFillBackground(true);
  setCentralWidget(client);
  client->installEventFilter(this);

  preview_ = new PreviewControl(client);
  preview_->setObjectName("Image1");
  preview_->setGeometry(472, 8, 105, 105);
  preview_->setEnabled(false);
  alphaHint_ = new QLabel(
      "この部品画像は透過情報を持っています。アルファ合成(A) で透過どおりに重ねられます。", client);
  alphaHint_->setObjectName("alphaHint");
  alphaHint_->setWordWrap(true);
  alphaHint_->setAutoFillBackground(true);
  alphaHint_->setBackgroundRole(QPalette::ToolTipBase);
  alphaHint_->setForegroundRole(QPalette::ToolTipText);
  alphaHint_->setMargin(4);
  alphaHint_->hide();
  baseList_ = new FolderHintList(client);
  baseList_->setObjectName("List1");
  baseList_->setGeometry(0, 0, 225, kClientHeight);
  partList_ = new FolderHintList(client);
  partList_->setObjectName("List2");
  partList_->setGeometry(225, 0, 240, kClientHeight);
  for (auto* list : {baseList_, partList_}) {
    list->setItemDelegate(new FixedHeightDelegate(list));
    list->setUniformItemSizes(true);
  }
  if (folders_.userFolder) {
    const auto folder = QFile::decodeName(QByteArray::fromStdString(folders_.folder));
    baseList_->setFolderHint(QStringLiteral("元画像のフォルダ: %1base").arg(folder));
    partList_->setFolderHint(QStringLiteral("部品画像のフォルダ: %1part").arg(folder));
  }
  setTabOrder(baseList_, partList_);
  connectListClicks(baseList_, &MainWindow::previewBase);
  connectListClicks(partList_, &MainWindow::previewPart);
}

void MainWindow::connectListClicks(QListWidget* list, void (MainWindow::*handler)()) {
  // A mouse click runs the handler even on the selected entry; a keyboard move runs it once.
  connect(list, &QListWidget::itemClicked, this,
          [this, handler] { guarded([=, this] { (this->*handler)(); }); });
  connect(list, &QListWidget::currentRowChanged, this, [this, handler] {
    if (QApplication::mouseButtons() == Qt::NoButton) guarded([=, this] { (this->*handler)(); });
  });
}

QAction* MainWindow::addCommand(QWidget* menu, const char* objectName, const QString& caption,
                                void (MainWindow::*handler)()) {
  auto* action = new QAction(caption, menu);
  action->setObjectName(objectName);
  menu->addAction(action);
  connect(action, &QAction::triggered, this,
          [this, handler] { guarded([=, this] { (this->*handler)(); }); });
  return action;
}

void MainWindow::createActions() {
  QMenuBar* bar = menuBar();
  bar->setObjectName("MainMenu1");
  bar->installEventFilter(this);
  inputAction_ = addCommand(bar, "SearchFolder1", "入力(&S)", &MainWindow::onInput);
  outputPngAction_ = addCommand(bar, "Merge1", "出力.png(&E)", &MainWindow::onOutputPng);
  outputJpegAction_ = addCommand(bar, "Mergejpg1", "出力.jpg(&R)", &MainWindow::onOutputJpeg);
  qualityAction_ = addCommand(bar, "JQ1", "画質(&Q)", &MainWindow::askQuality);
  thresholdAction_ = addCommand(bar, "cutoff1", "閾値(&T)", &MainWindow::askThreshold);
  alphaBlendAction_ =
      addCommand(bar, "AlphaBlend1", "アルファ合成(&A)", &MainWindow::toggleAlphaBlend);
  alphaBlendAction_->setCheckable(true);
  nameMenu_ = bar->addMenu("名前(&N)");
  nameMenu_->setObjectName("Name1");
  separatorAction_ =
      addCommand(nameMenu_, "Seperator1", "区切り文字(&S)", &MainWindow::askSeparator);
  nameMenu_->addSeparator()->setObjectName("N1");
  baseFirstAction_ = addCommand(nameMenu_, "BP1", "元-部品(&B)", &MainWindow::chooseBaseFirst);
  partFirstAction_ = addCommand(nameMenu_, "PB1", "部品-元(&P)", &MainWindow::choosePartFirst);
  auto* order = new QActionGroup(this);
  for (auto* item : {baseFirstAction_, partFirstAction_}) {
    item->setCheckable(true);
    order->addAction(item);
  }
  progressAction_ = addCommand(bar, "progress1", "進捗(&G)", &MainWindow::showProgress);
  abortAction_ = addCommand(bar, "abort1", "中断(&A)", &MainWindow::requestAbort);
  quitAction_ = new QAction("終了(&X)", bar);
  quitAction_->setObjectName("Quit1");
  bar->addAction(quitAction_);
  // Closing asks closeEvent, which guards the save itself.
  connect(quitAction_, &QAction::triggered, this, &QWidget::close);
}

void MainWindow::updateActions() {
  // While a run goes through the lists, nothing may change them or start a second run.
  for (auto* command : {inputAction_, outputPngAction_, outputJpegAction_}) {
    command->setEnabled(!busy_);
  }
  progressAction_->setEnabled(busy_);
  abortAction_->setEnabled(busy_);
  // Alt+A belongs to Abort while a run goes on; the mode cannot change mid-run either.
  alphaBlendAction_->setEnabled(!busy_);
}

void MainWindow::loadSettings() {
  settings_ = LoadSettings(profile_);
  updateNameOrderChecks();
  alphaBlendAction_->setChecked(settings_.alphaBlend);
  savedGeometry_ = LoadGeometry(profile_);
  finder_ = std::make_unique<ImageFileFinder>(settings_.extensions);
  applyGeometry(savedGeometry_);
}

void MainWindow::updateNameOrderChecks() {
  baseFirstAction_->setChecked(settings_.nameOrder.IsBaseFirst());
  partFirstAction_->setChecked(!settings_.nameOrder.IsBaseFirst());
}

// Before the window is shown its frame is unknown: a full saved position goes to the window
// manager with the first map, and the saved size stands in for the client size until
// fitGeometryToFrame corrects it.
void MainWindow::applyGeometry(const WindowGeometry& geometry) {
  if (geometry.top >= 0 && geometry.left >= 0) move(geometry.left, geometry.top);
  resize(geometry.width > 0 ? geometry.width : width(),
         geometry.height > 0 ? geometry.height : height());
}

// Once the window is framed, the saved size becomes the outer size; a lone saved top or left
// moves only its own axis and keeps the window manager's placement on the other.
void MainWindow::fitGeometryToFrame(const WindowGeometry& geometry) {
  const QSize frameExtra = frameGeometry().size() - size();
  resize(geometry.width > 0 ? geometry.width - frameExtra.width() : width(),
         geometry.height > 0 ? geometry.height - frameExtra.height() : height());
  if ((geometry.top >= 0) != (geometry.left >= 0)) {
    move(geometry.left >= 0 ? geometry.left : x(), geometry.top >= 0 ? geometry.top : y());
  }
}

QSize MainWindow::clientSize() const { return centralWidget()->size(); }

void MainWindow::layOutControls() {
  const int listWidth = clientSize().width() / 4;
  const int clientHeight = clientSize().height();
  baseList_->setGeometry(0, 0, listWidth, clientHeight);
  partList_->setGeometry(listWidth, 0, listWidth, clientHeight);
  preview_->move(partList_->x() + partList_->width(), 0);
  fitPreview();
  placeAlphaHint();
}

// Over the top of the preview's column, so it is seen whatever the picture's size.
void MainWindow::placeAlphaHint() {
  const int width = std::max(0, clientSize().width() - preview_->x());
  alphaHint_->setGeometry(preview_->x(), 0, width, alphaHint_->heightForWidth(width));
  alphaHint_->raise();
}

void MainWindow::showAlphaHint(bool shown) {
  if (shown) placeAlphaHint();
  alphaHint_->setVisible(shown);
}

void MainWindow::showEvent(QShowEvent* event) {
  // The window is created by now; its first exposure comes after the window manager framed it.
  if (!frameFitted_) windowHandle()->installEventFilter(this);
  QMainWindow::showEvent(event);
}

// 中断(&A) and アルファ合成(&A) share their key, which the menu bar would hand to each in
// turn, enabled or not: the key goes to the one that can act, Abort during a run.
bool MainWindow::routeSharedMnemonic(QObject* watched, QEvent* event) {
  if (watched != menuBar() || event->type() != QEvent::Shortcut) return false;
  if (static_cast<QShortcutEvent*>(event)->key() != QKeySequence::mnemonic(abortAction_->text())) {
    return false;
  }
  (busy_ ? abortAction_ : alphaBlendAction_)->trigger();
  return true;
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
  if (routeSharedMnemonic(watched, event)) return true;
  if (watched == centralWidget() && event->type() == QEvent::Resize)
    guarded([this] { layOutControls(); });
  if (watched == windowHandle() && event->type() == QEvent::Expose && !frameFitted_ &&
      windowHandle()->isExposed()) {
    frameFitted_ = true;
    windowHandle()->removeEventFilter(this);
    guarded([this] { fitGeometryToFrame(savedGeometry_); });
  }
  return QMainWindow::eventFilter(watched, event);
}

void MainWindow::enterBusy() {
  busy_ = true;
  updateActions();
}

void MainWindow::leaveBusy() {
  busy_ = false;
  updateActions();
}

void MainWindow::requestAbort() {
  if (batch_) batch_->RequestStop();
}

void MainWindow::setBatchWorkers(unsigned count) { batchWorkers_ = std::max(1u, count); }

// Qt hands the folder to xdg-open; without it Qt only warns on stderr, which a user who started
// the window from a menu never sees, so the window names the folder itself.
void MainWindow::openInDesktop(const QUrl& folder) {
  if (QStandardPaths::findExecutable("xdg-open").isEmpty() || !QDesktopServices::openUrl(folder)) {
    ShowNote(this, QStringLiteral("出力したファイルのフォルダ: %1").arg(folder.toLocalFile()));
  }
}

void MainWindow::showFolderProblems(const std::vector<std::string>& problems) {
  QString told;
  for (const auto& problem : problems) told += "\n" + QFile::decodeName(problem.c_str());
  for (auto* list : {baseList_, partList_}) list->setFolderHint(list->folderHint() + told);
}

void MainWindow::setOpenFolder(std::function<void(const QUrl& folder)> openFolder) {
  openFolder_ = std::move(openFolder);
}

void MainWindow::setAfterPair(std::function<void(const PairOutcome&)> afterPair) {
  afterPair_ = std::move(afterPair);
}

void MainWindow::closeEvent(QCloseEvent* event) {
  event->ignore();
  if (busy_) return;
  guarded([&] {
    saveSettingsOnClose();
    releaseResources();
    event->accept();
  });
}

// The first failure keeps the window open so the user can mend the file; a second failure in a
// row closes it anyway, so a file that can never be written cannot trap the user. Each failure
// is reported.
void MainWindow::saveSettingsOnClose() {
  const QRect bounds = frameGeometry();
  try {
    SaveSettings(profile_, settings_, {bounds.y(), bounds.x(), bounds.width(), bounds.height()});
  } catch (const std::exception& error) {
    if (!settingsSaveFailed_) {
      settingsSaveFailed_ = true;
      throw;
    }
    ShowErrorReport(this, QByteArray(error.what()));
  }
}

void MainWindow::releaseResources() {
  finder_.reset();
  baseBitmap_ = Bitmap();
  partBitmap_ = Bitmap();
}

void MainWindow::guarded(const std::function<void()>& handler) {
  try {
    handler();
  } catch (const std::exception& error) {
    ShowErrorReport(this, QByteArray(error.what()));
  } catch (...) {
    ShowErrorReport(this, QByteArray());
  }
}

}  // namespace mirelay
