#pragma once

#include <QDir>
#include <QTemporaryDir>
#include <fstream>
#include <iterator>
#include <string>

namespace mirelay::testing_support {

// A folder standing in for the executable's own: the form under test is told its executable
// lives here, so the settings file and the base, part and out folders are all inside.
class Workspace {
 public:
  Workspace() { dir_.setAutoRemove(true); }
  std::string Executable() const { return Path("mirelay"); }
  std::string Settings() const { return Path("mirelay.ini"); }
  std::string Path(const std::string& relative) const {
    return dir_.path().toStdString() + "/" + relative;
  }
  void MakeFolders(std::initializer_list<const char*> names = {"base", "part", "out"}) const {
    for (const char* name : names) QDir(dir_.path()).mkpath(name);
  }
  void Write(const std::string& relative, const std::string& content) const {
    std::ofstream(Path(relative), std::ios::binary) << content;
  }
  std::string Read(const std::string& relative) const {
    std::ifstream in(Path(relative), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }

 private:
  QTemporaryDir dir_;
};

}  // namespace mirelay::testing_support
