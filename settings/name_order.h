#pragma once

#include <cstdint>

namespace mirelay {

// Which source name comes first in an output file name. It keeps the number the settings file
// holds: 1 puts the base name first and any other value the part name, and an unusual value is
// written back as it was read until the user picks an order.
class NameOrder {
 public:
  static constexpr NameOrder BaseFirst() { return NameOrder(1); }
  static constexpr NameOrder PartFirst() { return NameOrder(2); }
  static constexpr NameOrder FromStored(std::int32_t stored) { return NameOrder(stored); }

  constexpr bool IsBaseFirst() const { return stored_ == 1; }
  constexpr std::int32_t Stored() const { return stored_; }

  friend constexpr bool operator==(NameOrder, NameOrder) = default;

 private:
  constexpr explicit NameOrder(std::int32_t stored) : stored_(stored) {}

  std::int32_t stored_;
};

}  // namespace mirelay
