#include "app/path_list.h"

#include <QByteArray>
#include <QFile>
#include <QListWidget>

namespace mirelay {

void FillPathList(QListWidget* list, const std::vector<std::string>& paths) {
  list->clear();
  for (const auto& path : paths) {
    auto* item = new QListWidgetItem(QFile::decodeName(QByteArray::fromStdString(path)), list);
    item->setData(Qt::UserRole, QByteArray::fromStdString(path));
  }
}

std::string PathListEntry(const QListWidget* list, int row) {
  return list->item(row)->data(Qt::UserRole).toByteArray().toStdString();
}

}  // namespace mirelay
