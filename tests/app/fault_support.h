#pragma once

// Shared by the fault tests: small JPEG inputs, a recorder that answers every message box, and
// checks on what a run leaves behind.

#include <QApplication>
#include <QMessageBox>
#include <QStringList>
#include <QTimer>
#include <filesystem>
#include <string>
#include <vector>

#include "imaging/bitmap.h"
#include "imaging/image_lib.h"

namespace mirelay::testing_support {

// A noisy picture, so its JPEG is a few kilobytes rather than a few hundred bytes.
inline void WriteJpeg(const std::string& path, int size = 64, unsigned seed = 1) {
  Bitmap bitmap(PixelFormat::kBits24, size, size);
  unsigned state = seed;
  for (std::uint8_t& byte : bitmap.PixelMemory()) {
    state = state * 1103515245u + 12345u;
    byte = static_cast<std::uint8_t>(state >> 16);
  }
  SaveBitmapAs(path, &bitmap, kFormatJpeg);
}

// Presses OK on every message box shown while it lives and keeps their texts.
class MessageBoxRecorder {
 public:
  MessageBoxRecorder() {
    timer_.setInterval(5);
    QObject::connect(&timer_, &QTimer::timeout, &timer_, [this] {
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      if (box == nullptr || !box->isVisible()) return;
      texts << box->text();
      box->accept();
    });
    timer_.start();
  }
  QStringList texts;

 private:
  QTimer timer_;
};

// Names of the entries of a folder, sorted; empty when the folder is gone.
inline std::vector<std::string> FolderNames(const std::string& folder) {
  std::vector<std::string> names;
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

// Temporary output files left anywhere under `root`.
inline std::vector<std::string> LeftoverTemporaries(const std::string& root) {
  std::vector<std::string> found;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(root)) {
    const auto name = entry.path().filename().string();
    if (name.starts_with(".mirelay-") && name.ends_with(".tmp")) found.push_back(name);
  }
  return found;
}

}  // namespace mirelay::testing_support
