// Tells whether the window's menu captions would be drawn with glyphs on this system, or as
// boxes: lays each caption out in the font its menu uses, with Qt's font fallback, and looks for
// glyph 0 (the font's "missing" box). Prints each caption with the fonts that drew it; exits 1
// if any character has no glyph. The package check runs it in a root that has only the fonts the
// .deb's dependencies bring.

#include <QApplication>
#include <QGlyphRun>
#include <QMenu>
#include <QMenuBar>
#include <QRawFont>
#include <QTemporaryDir>
#include <QTextLayout>
#include <cstdio>

#include "app/main_window.h"

namespace {

// Counts the characters of `caption` (its mnemonic marker left out) that `font` and its
// fallbacks cannot draw, and prints the faces that drew the rest.
int MissingGlyphs(const QString& caption, const QFont& font) {
  QString text = caption;
  text.remove('&');
  QTextLayout layout(text, font);
  layout.beginLayout();
  layout.createLine();
  layout.endLayout();
  int missing = 0;
  QStringList faces;
  for (const QGlyphRun& run : layout.glyphRuns()) {
    for (const quint32 glyph : run.glyphIndexes()) missing += glyph == 0 ? 1 : 0;
    faces << run.rawFont().familyName();
  }
  faces.removeDuplicates();
  std::printf("%s %s: %s\n", missing == 0 ? "ok     " : "MISSING", qPrintable(text),
              qPrintable(faces.join(", ")));
  return missing;
}

}  // namespace

int main(int argc, char* argv[]) {
  QApplication application(argc, argv);
  const QTemporaryDir workspace;
  mirelay::MainWindow window((workspace.path() + "/mirelay").toStdString());
  int missing = 0;
  const QMenuBar* bar = window.menuBar();
  for (const QAction* action : bar->actions()) {
    missing += MissingGlyphs(action->text(), bar->font());
    if (const QMenu* menu = action->menu()) {
      for (const QAction* item : menu->actions()) {
        if (!item->isSeparator()) missing += MissingGlyphs(item->text(), menu->font());
      }
    }
  }
  std::printf("%d characters without a glyph\n", missing);
  return missing == 0 ? 0 : 1;
}
