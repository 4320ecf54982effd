#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <utility>

#include "imaging/image_error.h"

namespace mirelay {

// Bounds-checked reading of untrusted bytes: reading past the end throws ImageError with the
// text the format reports for a truncated file, never reads outside the buffer.
class ByteReader {
 public:
  ByteReader(std::span<const std::uint8_t> data, std::string truncatedMessage)
      : data_(data), truncatedMessage_(truncatedMessage), truncatedEnglish_(truncatedMessage) {}
  ByteReader(std::span<const std::uint8_t> data, ErrorWords truncatedMessage)
      : data_(data),
        truncatedMessage_(truncatedMessage.display),
        truncatedEnglish_(truncatedMessage.english) {}

  std::size_t Position() const { return position_; }
  std::size_t Remaining() const { return data_.size() - position_; }
  bool AtEnd() const { return position_ == data_.size(); }

  std::optional<std::uint8_t> Peek() const {
    if (AtEnd()) return std::nullopt;
    return data_[position_];
  }

  std::span<const std::uint8_t> Bytes(std::size_t count) {
    Require(count);
    auto bytes = data_.subspan(position_, count);
    position_ += count;
    return bytes;
  }

  void Skip(std::size_t count) { Bytes(count); }

  std::uint8_t U8() { return Bytes(1)[0]; }

  std::uint16_t U16LE() {
    auto b = Bytes(2);
    return static_cast<std::uint16_t>(b[0] | (b[1] << 8));
  }

  std::uint16_t U16BE() {
    auto b = Bytes(2);
    return static_cast<std::uint16_t>((b[0] << 8) | b[1]);
  }

  std::uint32_t U32LE() {
    auto b = Bytes(4);
    return std::uint32_t{b[0]} | (std::uint32_t{b[1]} << 8) | (std::uint32_t{b[2]} << 16) |
           (std::uint32_t{b[3]} << 24);
  }

  std::int32_t I32LE() { return static_cast<std::int32_t>(U32LE()); }

  std::uint32_t U32BE() {
    auto b = Bytes(4);
    return (std::uint32_t{b[0]} << 24) | (std::uint32_t{b[1]} << 16) | (std::uint32_t{b[2]} << 8) |
           std::uint32_t{b[3]};
  }

 private:
  void Require(std::size_t count) const {
    if (count > Remaining()) throw ImageError(truncatedMessage_, truncatedEnglish_);
  }

  std::span<const std::uint8_t> data_;
  std::string truncatedMessage_;
  std::string truncatedEnglish_;
  std::size_t position_ = 0;
};

}  // namespace mirelay
