#pragma once

// The main window's controls as a test reaches them: by their designed objectNames, the way a
// user finds them by caption.

#include <QAction>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QtTest>

#include "app/main_window.h"
#include "app/preview_control.h"

namespace mirelay::testing_support {

template <typename Control>
Control* FindControl(const MainWindow& window, const char* objectName) {
  auto* control = window.findChild<Control*>(objectName);
  if (control == nullptr) qFatal("the window has no control named %s", objectName);
  return control;
}

struct WindowControls {
  explicit WindowControls(const MainWindow& window)
      : baseList(FindControl<QListWidget>(window, "List1")),
        partList(FindControl<QListWidget>(window, "List2")),
        preview(FindControl<PreviewControl>(window, "Image1")),
        menuBar(FindControl<QMenuBar>(window, "MainMenu1")),
        input(FindControl<QAction>(window, "SearchFolder1")),
        outputPng(FindControl<QAction>(window, "Merge1")),
        outputJpeg(FindControl<QAction>(window, "Mergejpg1")),
        quality(FindControl<QAction>(window, "JQ1")),
        threshold(FindControl<QAction>(window, "cutoff1")),
        alphaBlend(FindControl<QAction>(window, "AlphaBlend1")),
        nameMenu(FindControl<QMenu>(window, "Name1")),
        separator(FindControl<QAction>(window, "Seperator1")),
        baseFirst(FindControl<QAction>(window, "BP1")),
        partFirst(FindControl<QAction>(window, "PB1")),
        progress(FindControl<QAction>(window, "progress1")),
        abort(FindControl<QAction>(window, "abort1")),
        quit(FindControl<QAction>(window, "Quit1")) {}

  QListWidget* baseList;
  QListWidget* partList;
  PreviewControl* preview;
  QMenuBar* menuBar;
  QAction* input;
  QAction* outputPng;
  QAction* outputJpeg;
  QAction* quality;
  QAction* threshold;
  QAction* alphaBlend;
  QMenu* nameMenu;
  QAction* separator;
  QAction* baseFirst;
  QAction* partFirst;
  QAction* progress;
  QAction* abort;
  QAction* quit;
};

// Clicks a list entry with the mouse, as a user picks a base or a part; the window must be shown.
inline void ClickRow(QListWidget* list, int row) {
  list->scrollToItem(list->item(row));
  QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                    list->visualItemRect(list->item(row)).center());
}

// The row of the list entry whose file name is `name`; the list's order is the folder's.
inline int RowNamed(const QListWidget* list, const QString& name) {
  for (int row = 0; row < list->count(); ++row) {
    const QString text = list->item(row)->text();
    if (text == name || text.endsWith("/" + name)) return row;
  }
  qFatal("no list entry %s", qPrintable(name));
}

}  // namespace mirelay::testing_support
