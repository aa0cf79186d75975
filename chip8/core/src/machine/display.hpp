#pragma once
// The two-plane CHIP-8 / SCHIP / XO-CHIP display.
//
// The picture is always stored at the physical resolution of 128 x 64 pixels per
// plane, one byte per pixel, so a frame is always the same 16,384 bytes and a
// resolution switch never reallocates. In low resolution a logical pixel is the
// 2 x 2 block whose top-left physical pixel holds its value.

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace chip8 {

inline constexpr std::size_t kDisplayColumns = 128;
inline constexpr std::size_t kDisplayRows = 64;
inline constexpr std::size_t kPlaneBytes = kDisplayColumns * kDisplayRows;  // 8,192
inline constexpr std::size_t kPlaneCount = 2;
inline constexpr std::size_t kFrameBytes = kPlaneCount * kPlaneBytes;  // 16,384

using DisplayPlane = std::array<std::uint8_t, kPlaneBytes>;

struct Chip8Display {
  std::array<DisplayPlane, kPlaneCount> planes{};  // pixel (c, r) is byte r * 128 + c; 0 off, 1 on
  bool hires = false;                              // 128 x 64 logical pixels, else 64 x 32
  std::uint8_t plane_mask = 1;                     // bit 0 plane 0, bit 1 plane 1; always 0-3

  std::size_t logical_width() const { return hires ? 128 : 64; }
  std::size_t logical_height() const { return hires ? 64 : 32; }

  // 00E0: blank every selected plane.
  void clear_selected();
  // 00FF (true) / 00FE (false): switch resolution and blank both planes,
  // whatever the plane mask selects.
  void set_resolution(bool high);
  // 00CN / 00DN: move the selected planes by n logical rows; nothing wraps.
  void scroll_down(std::uint8_t n);
  void scroll_up(std::uint8_t n);
  // 00FB / 00FC: move the selected planes by 4 logical columns.
  void scroll_right();
  void scroll_left();

  // DXYN. `sprite` holds the sprite of every selected plane back to back (plane 0
  // first), `n` rows of 8 pixels each, or 16 rows of 16 pixels when n is 0.
  // Returns whether any pixel was turned off.
  bool draw_sprite(std::uint8_t x, std::uint8_t y, std::uint8_t n, std::span<const std::uint8_t> sprite,
                   bool clip_sprites);

  // Plane 0 then plane 1 in the physical layout, whatever `hires` and `plane_mask` say.
  std::vector<std::uint8_t> export_frame() const;

  friend bool operator==(const Chip8Display&, const Chip8Display&) = default;
};

// Bytes of sprite data one plane reads for DXYN: N, or 32 for the 16 x 16 sprite.
constexpr std::size_t sprite_bytes_per_plane(std::uint8_t n) { return n == 0 ? 32 : n; }

// Number of planes a mask selects.
constexpr std::size_t selected_plane_count(std::uint8_t plane_mask) {
  return static_cast<std::size_t>(plane_mask & 1) + static_cast<std::size_t>((plane_mask >> 1) & 1);
}

}  // namespace chip8
