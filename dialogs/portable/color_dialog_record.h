// What the Colour dialog is given: the full-open option and a table of 16
// custom colours made for the one call, so that nothing carries over.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace wex {

constexpr uint32_t kColorFullOpen = 2;
constexpr size_t kCustomColorCount = 16;

// All black at the start; the dialog reads and writes every entry.
using CustomColorTable = std::array<uint32_t, kCustomColorCount>;

struct ColorDialogRecord {
  uint32_t lStructSize = 0;
  uint32_t rgbResult = 0;
  uint32_t Flags = 0;
  CustomColorTable custom_colors{};  // lpCustColors points here for the call
};

ColorDialogRecord NewColorDialogRecord();

}  // namespace wex
