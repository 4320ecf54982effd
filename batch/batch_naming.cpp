#include "batch/batch_naming.h"

namespace mirelay {

std::string NameWithoutExtension(const std::string& path) {
  const auto slash = path.rfind('/');
  std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  if (const auto dot = name.rfind('.'); dot != std::string::npos) name.resize(dot);
  return name;
}

std::string OutputFileName(const std::string& basePath, const std::string& partPath,
                           const std::string& separator, NameOrder nameOrder,
                           const std::string& extension) {
  const auto baseName = NameWithoutExtension(basePath);
  const auto partName = NameWithoutExtension(partPath);
  const auto& first = nameOrder.IsBaseFirst() ? baseName : partName;
  const auto& second = nameOrder.IsBaseFirst() ? partName : baseName;
  return first + separator + second + extension;
}

}  // namespace mirelay
