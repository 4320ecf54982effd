#include "app/main_window.h"

#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QFontDatabase>
#include <QListWidget>
#include <QMenuBar>
#include <QStyledItemDelegate>
#include <QUrl>
#include <QWindow>
#include <algorithm>
#include <thread>

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

TForm1::TForm1(std::string executablePath, QWidget* parent)
    : QMainWindow(parent),
      executablePath_(std::move(executablePath)),
      profile_(SettingsFileFor(executablePath_)) {
  openFolder = [](const QString& folder) {
    QDesktopServices::openUrl(QUrl::fromLocalFile(folder));
  };
  SetBatchWorkers(std::thread::hardware_concurrency());
  setWindowTitle("Mirelay 1.2.0");
  setFont(WindowFont());
  CreateControls();
  CreateMenu();
  runStatus_ = new RunStatusBar(this);
  setStatusBar(runStatus_);
  resize(kClientWidth, kClientHeight + MainMenu1->sizeHint().height());
  FormCreate();
}

TForm1::~TForm1() = default;

void TForm1::CreateControls() {
  auto* client = new QWidget(this);
  client->setBackgroundRole(QPalette::Button);
  client->setAutoFillBackground(true);
  setCentralWidget(client);
  client->installEventFilter(this);

  Image1 = new PreviewControl(client);
  Image1->setGeometry(472, 8, 105, 105);
  Image1->setEnabled(false);
  List1 = new QListWidget(client);
  List1->setGeometry(0, 0, 225, kClientHeight);
  List2 = new QListWidget(client);
  List2->setGeometry(225, 0, 240, kClientHeight);
  for (auto* list : {List1, List2}) {
    list->setItemDelegate(new FixedHeightDelegate(list));
    list->setUniformItemSizes(true);
  }
  setTabOrder(List1, List2);
  ConnectListClicks(List1, &TForm1::List1Click);
  ConnectListClicks(List2, &TForm1::List2Click);
}

void TForm1::ConnectListClicks(QListWidget* list, void (TForm1::*handler)()) {
  // A mouse click runs the handler even on the selected entry; a keyboard move runs it once.
  connect(list, &QListWidget::itemClicked, this,
          [this, handler] { Guarded([=, this] { (this->*handler)(); }); });
  connect(list, &QListWidget::currentRowChanged, this, [this, handler] {
    if (QApplication::mouseButtons() == Qt::NoButton) Guarded([=, this] { (this->*handler)(); });
  });
}

QAction* TForm1::AddCommand(QWidget* menu, const QString& caption, void (TForm1::*handler)()) {
  auto* action = new QAction(caption, menu);
  menu->addAction(action);
  connect(action, &QAction::triggered, this,
          [this, handler] { Guarded([=, this] { (this->*handler)(); }); });
  return action;
}

void TForm1::CreateMenu() {
  MainMenu1 = menuBar();
  SearchFolder1 = AddCommand(MainMenu1, "入力(&S)", &TForm1::SearchFolder1Click);
  Merge1 = AddCommand(MainMenu1, "出力.png(&E)", &TForm1::MergePNGClick);
  Mergejpg1 = AddCommand(MainMenu1, "出力.jpg(&R)", &TForm1::MergeJPGClick);
  JQ1 = AddCommand(MainMenu1, "画質(&Q)", &TForm1::JQ1Click);
  cutoff1 = AddCommand(MainMenu1, "閾値(&T)", &TForm1::cutoff1Click);
  Name1 = MainMenu1->addMenu("名前(&N)");
  Seperator1 = AddCommand(Name1, "区切り文字(&S)", &TForm1::Seperator1Click);
  Name1->addSeparator();
  BP1 = AddCommand(Name1, "元-部品(&B)", &TForm1::BP1Click);
  PB1 = AddCommand(Name1, "部品-元(&P)", &TForm1::PB1Click);
  auto* order = new QActionGroup(this);
  for (auto* item : {BP1, PB1}) {
    item->setCheckable(true);
    order->addAction(item);
  }
  progress1 = AddCommand(MainMenu1, "進捗(&G)", &TForm1::progress1Click);
  abort1 = AddCommand(MainMenu1, "中断(&A)", &TForm1::abort1Click);
  Quit1 = AddCommand(MainMenu1, "終了(&X)", &TForm1::Quit1Click);
}

void TForm1::FormCreate() {
  settings = LoadSettings(profile_);
  SetNameOrderChecks();
  savedGeometry_ = LoadGeometry(profile_);
  Finder = std::make_unique<TFnd>(settings.Extensions);
  BaseBitmap = Bitmap();
  PartBitmap = Bitmap();
  ApplyGeometry(savedGeometry_);
  LeaveBusy();
}

void TForm1::SetNameOrderChecks() {
  BP1->setChecked(settings.NameOrder == 1);
  PB1->setChecked(settings.NameOrder != 1);
}

// Before the window is shown its frame is unknown: a full saved position goes to the window
// manager with the first map, and the saved size stands in for the client size until
// FitGeometryToFrame corrects it.
void TForm1::ApplyGeometry(const WindowGeometry& geometry) {
  if (geometry.top >= 0 && geometry.left >= 0) move(geometry.left, geometry.top);
  resize(geometry.width > 0 ? geometry.width : width(),
         geometry.height > 0 ? geometry.height : height());
}

// Once the window is framed, the saved size becomes the outer size; a lone saved top or left
// moves only its own axis and keeps the window manager's placement on the other.
void TForm1::FitGeometryToFrame(const WindowGeometry& geometry) {
  const QSize frameExtra = frameGeometry().size() - size();
  resize(geometry.width > 0 ? geometry.width - frameExtra.width() : width(),
         geometry.height > 0 ? geometry.height - frameExtra.height() : height());
  if ((geometry.top >= 0) != (geometry.left >= 0)) {
    move(geometry.left >= 0 ? geometry.left : x(), geometry.top >= 0 ? geometry.top : y());
  }
}

QSize TForm1::ClientSize() const { return centralWidget()->size(); }

void TForm1::FormResize() {
  const int listWidth = ClientSize().width() / 4;
  const int clientHeight = ClientSize().height();
  List1->setGeometry(0, 0, listWidth, clientHeight);
  List2->setGeometry(listWidth, 0, listWidth, clientHeight);
  Image1->move(List2->x() + List2->width(), 0);
  FitPreview();
}

void TForm1::showEvent(QShowEvent* event) {
  // The window is created by now; its first exposure comes after the window manager framed it.
  if (!frameFitted_) windowHandle()->installEventFilter(this);
  QMainWindow::showEvent(event);
}

bool TForm1::eventFilter(QObject* watched, QEvent* event) {
  if (watched == centralWidget() && event->type() == QEvent::Resize)
    Guarded([this] { FormResize(); });
  if (watched == windowHandle() && event->type() == QEvent::Expose && !frameFitted_ &&
      windowHandle()->isExposed()) {
    frameFitted_ = true;
    windowHandle()->removeEventFilter(this);
    Guarded([this] { FitGeometryToFrame(savedGeometry_); });
  }
  return QMainWindow::eventFilter(watched, event);
}

void TForm1::EnterBusy() {
  FBusy = true;
  FAbort = false;
  progress1->setEnabled(true);
  abort1->setEnabled(true);
}

void TForm1::LeaveBusy() {
  FBusy = false;
  FAbort = false;
  progress1->setEnabled(false);
  abort1->setEnabled(false);
}

void TForm1::RequestAbort() {
  FAbort = true;
  if (batch_) batch_->RequestStop();
}

void TForm1::SetBatchWorkers(unsigned count) { batchWorkers_ = std::max(1u, count); }

void TForm1::Quit1Click() { close(); }

void TForm1::FormClose() {
  SaveSettingsOnClose();
  Finder.reset();
  BaseBitmap = Bitmap();
  PartBitmap = Bitmap();
}

// The first failure keeps the window open so the user can mend the file; a second failure in a
// row closes it anyway, so a file that can never be written cannot trap the user. Each failure
// is reported.
void TForm1::SaveSettingsOnClose() {
  const QRect bounds = frameGeometry();
  try {
    SaveSettings(profile_, settings, {bounds.y(), bounds.x(), bounds.width(), bounds.height()});
  } catch (const std::exception& error) {
    if (!settingsSaveFailed_) {
      settingsSaveFailed_ = true;
      throw;
    }
    ShowErrorReport(this, QByteArray(error.what()));
  }
}

void TForm1::closeEvent(QCloseEvent* event) {
  event->ignore();
  if (!FormCloseQuery()) return;
  Guarded([&] {
    FormClose();
    event->accept();
  });
}

void TForm1::Guarded(const std::function<void()>& handler) {
  try {
    handler();
  } catch (const std::exception& error) {
    ShowErrorReport(this, QByteArray(error.what()));
  } catch (...) {
    ShowErrorReport(this, QByteArray());
  }
}

std::string TForm1::ApplicationFolder() const {
  return executablePath_.substr(0, executablePath_.rfind('/') + 1);
}

std::string TForm1::EntryPath(const QListWidget* list, int row) {
  return list->item(row)->data(Qt::UserRole).toByteArray().toStdString();
}

}  // namespace mirelay
