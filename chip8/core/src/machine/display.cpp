#include "chip8_core/machine/display.hpp"

#include <algorithm>
#include <bit>

#include "lumivar_core/error/error.hpp"

namespace chip8 {
namespace {

// A logical pixel is `scale` x `scale` physical pixels: 1 in high, 2 in low resolution.
std::size_t top_left_index(std::size_t column, std::size_t row, std::size_t scale) {
  return row * scale * kDisplayColumns + column * scale;
}

std::uint8_t read_logical(const DisplayPlane& plane, std::size_t column, std::size_t row, std::size_t scale) {
  return plane[top_left_index(column, row, scale)];
}

// Writes every physical pixel of the logical pixel, which makes a low-resolution
// block uniform again even if a restored state had left it mixed.
void write_logical(DisplayPlane& plane, std::size_t column, std::size_t row, std::size_t scale,
                   std::uint8_t value) {
  const std::size_t index = top_left_index(column, row, scale);
  plane[index] = value;
  if (scale == 2) {
    plane[index + 1] = value;
    plane[index + kDisplayColumns] = value;
    plane[index + kDisplayColumns + 1] = value;
  }
}

// Draws one plane's sprite. Sprite rows below the bottom edge are dropped; columns
// past the right edge are dropped with `clip` and wrap to the left edge without.
// Templated on the scale so the per-pixel work of both resolutions stays branch-free.
template <std::size_t kScale>
bool draw_plane(DisplayPlane& plane, std::size_t x0, std::size_t y0, const std::uint8_t* sprite, bool wide,
                std::size_t rows, bool clip) {
  constexpr std::size_t kWidth = kDisplayColumns / kScale;
  constexpr std::size_t kHeight = kDisplayRows / kScale;
  bool collision = false;
  const std::size_t visible_rows = std::min(rows, kHeight - y0);
  for (std::size_t j = 0; j < visible_rows; ++j) {
    // Bit 15 is the leftmost sprite pixel in both the 8- and the 16-pixel form.
    std::uint16_t bits = wide ? static_cast<std::uint16_t>(sprite[2 * j] << 8 | sprite[2 * j + 1])
                              : static_cast<std::uint16_t>(sprite[j] << 8);
    const std::size_t row_base = (y0 + j) * kScale * kDisplayColumns;
    while (bits != 0) {
      const auto i = static_cast<std::size_t>(std::countl_zero(bits));
      bits = static_cast<std::uint16_t>(bits & ~(0x8000u >> i));
      std::size_t column = x0 + i;
      if (column >= kWidth) {
        if (clip) break;  // every remaining pixel of the row lies further right
        column -= kWidth;
      }
      const std::size_t index = row_base + column * kScale;
      const std::uint8_t old = plane[index];
      collision |= old == 1;
      const auto now = static_cast<std::uint8_t>(1 - old);
      plane[index] = now;
      if constexpr (kScale == 2) {
        plane[index + 1] = now;
        plane[index + kDisplayColumns] = now;
        plane[index + kDisplayColumns + 1] = now;
      }
    }
  }
  return collision;
}

}  // namespace

void Chip8Display::clear_selected() {
  for (std::size_t p = 0; p < kPlaneCount; ++p) {
    if ((plane_mask >> p) & 1) planes[p].fill(0);
  }
}

void Chip8Display::set_resolution(bool high) {
  hires = high;
  for (auto& plane : planes) plane.fill(0);
}

void Chip8Display::scroll_down(std::uint8_t n) {
  const std::size_t width = logical_width();
  const std::size_t height = logical_height();
  const std::size_t scale = hires ? 1 : 2;
  const std::size_t shift = std::min<std::size_t>(n, height);
  for (std::size_t p = 0; p < kPlaneCount; ++p) {
    if (((plane_mask >> p) & 1) == 0) continue;
    DisplayPlane& plane = planes[p];
    for (std::size_t row = height; row-- > shift;) {
      for (std::size_t c = 0; c < width; ++c) write_logical(plane, c, row, scale, read_logical(plane, c, row - shift, scale));
    }
    for (std::size_t row = 0; row < shift; ++row) {
      for (std::size_t c = 0; c < width; ++c) write_logical(plane, c, row, scale, 0);
    }
  }
}

void Chip8Display::scroll_up(std::uint8_t n) {
  const std::size_t width = logical_width();
  const std::size_t height = logical_height();
  const std::size_t scale = hires ? 1 : 2;
  const std::size_t shift = std::min<std::size_t>(n, height);
  for (std::size_t p = 0; p < kPlaneCount; ++p) {
    if (((plane_mask >> p) & 1) == 0) continue;
    DisplayPlane& plane = planes[p];
    for (std::size_t row = 0; row + shift < height; ++row) {
      for (std::size_t c = 0; c < width; ++c) write_logical(plane, c, row, scale, read_logical(plane, c, row + shift, scale));
    }
    for (std::size_t row = height - shift; row < height; ++row) {
      for (std::size_t c = 0; c < width; ++c) write_logical(plane, c, row, scale, 0);
    }
  }
}

void Chip8Display::scroll_right() {
  const std::size_t width = logical_width();
  const std::size_t height = logical_height();
  const std::size_t scale = hires ? 1 : 2;
  for (std::size_t p = 0; p < kPlaneCount; ++p) {
    if (((plane_mask >> p) & 1) == 0) continue;
    DisplayPlane& plane = planes[p];
    for (std::size_t row = 0; row < height; ++row) {
      for (std::size_t c = width; c-- > 4;) write_logical(plane, c, row, scale, read_logical(plane, c - 4, row, scale));
      for (std::size_t c = 0; c < 4; ++c) write_logical(plane, c, row, scale, 0);
    }
  }
}

void Chip8Display::scroll_left() {
  const std::size_t width = logical_width();
  const std::size_t height = logical_height();
  const std::size_t scale = hires ? 1 : 2;
  for (std::size_t p = 0; p < kPlaneCount; ++p) {
    if (((plane_mask >> p) & 1) == 0) continue;
    DisplayPlane& plane = planes[p];
    for (std::size_t row = 0; row < height; ++row) {
      for (std::size_t c = 0; c + 4 < width; ++c) write_logical(plane, c, row, scale, read_logical(plane, c + 4, row, scale));
      for (std::size_t c = width - 4; c < width; ++c) write_logical(plane, c, row, scale, 0);
    }
  }
}

bool Chip8Display::draw_sprite(std::uint8_t x, std::uint8_t y, std::uint8_t n, std::span<const std::uint8_t> sprite,
                               bool clip_sprites) {
  const bool wide = n == 0;
  const std::size_t rows = wide ? 16 : n;
  const std::size_t per_plane = sprite_bytes_per_plane(n);
  const std::size_t x0 = x & (logical_width() - 1);
  const std::size_t y0 = y & (logical_height() - 1);
  if (sprite.size() < selected_plane_count(plane_mask) * per_plane) {
    lumivar::fatal("CHIP-8 sprite data is shorter than the selected planes need");
  }
  bool collision = false;
  std::size_t taken = 0;  // selected planes drawn so far; the k-th reads bytes k * per_plane onward
  for (std::size_t p = 0; p < kPlaneCount; ++p) {
    if (((plane_mask >> p) & 1) == 0) continue;
    const std::uint8_t* data = sprite.data() + taken * per_plane;
    ++taken;
    collision |= hires ? draw_plane<1>(planes[p], x0, y0, data, wide, rows, clip_sprites)
                       : draw_plane<2>(planes[p], x0, y0, data, wide, rows, clip_sprites);
  }
  return collision;
}

std::vector<std::uint8_t> Chip8Display::export_frame() const {
  std::vector<std::uint8_t> frame;
  frame.reserve(kFrameBytes);
  for (const auto& plane : planes) frame.insert(frame.end(), plane.begin(), plane.end());
  return frame;
}

}  // namespace chip8
