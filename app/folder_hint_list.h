#pragma once

#include <QListWidget>
#include <QString>

namespace mirelay {

// A list pane that, while it has no entries, names the folder they come from: someone who
// installed the program cannot otherwise tell where to put the pictures.
class FolderHintList : public QListWidget {
 public:
  using QListWidget::QListWidget;

  void setFolderHint(const QString& hint);
  const QString& folderHint() const { return hint_; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QString hint_;
};

}  // namespace mirelay
