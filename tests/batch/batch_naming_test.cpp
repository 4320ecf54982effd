#include "batch/batch_naming.h"

#include <gtest/gtest.h>

#include "imaging/output_format.h"

namespace mirelay {
namespace {

TEST(BatchNaming, DropsTheFolderAndOnlyTheLastExtension) {
  EXPECT_EQ(NameWithoutExtension("/w/base/a.b.png"), "a.b");
  EXPECT_EQ(NameWithoutExtension("/w/base/sky.PNG"), "sky");
  EXPECT_EQ(NameWithoutExtension("/w/base/noext"), "noext");
  EXPECT_EQ(NameWithoutExtension("/w/v1.2/noext"), "noext");
}

TEST(BatchNaming, OrderSeparatorAndExtensionFollowTheSettings) {
  const auto name = [](const char* separator, NameOrder order, std::int32_t code) {
    return OutputFileName("/b/a.png", "/p/x.gif", separator, order,
                          OutputFormatForCode(code).extension);
  };
  EXPECT_EQ(name("_", NameOrder::BaseFirst(), 4), "a_x.png");
  EXPECT_EQ(name("_", NameOrder::PartFirst(), 4), "x_a.png");
  EXPECT_EQ(name("_", NameOrder::FromStored(0), 4), "x_a.png");
  EXPECT_EQ(name("", NameOrder::BaseFirst(), 4), "ax.png");
  EXPECT_EQ(name("--", NameOrder::BaseFirst(), 75), "a--x.jpg");
  for (int code : {0, 1, 2, 3, 100, -1, 101}) {
    EXPECT_EQ(OutputFormatForCode(code).extension, ".jpg") << code;
  }
}

}  // namespace
}  // namespace mirelay
