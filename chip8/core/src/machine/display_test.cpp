#include "chip8_core/machine/display.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace chip8 {
namespace {

// The logical picture of one plane as text rows ('#' on, '.' off), read through
// each low-resolution block's top-left pixel.
std::vector<std::string> picture(const Chip8Display& d, std::size_t plane = 0) {
  const std::size_t scale = d.hires ? 1 : 2;
  std::vector<std::string> rows;
  for (std::size_t r = 0; r < d.logical_height(); ++r) {
    std::string row;
    for (std::size_t c = 0; c < d.logical_width(); ++c) {
      row += d.planes[plane][r * scale * kDisplayColumns + c * scale] ? '#' : '.';
    }
    rows.push_back(row);
  }
  return rows;
}

std::size_t lit_physical(const Chip8Display& d, std::size_t plane) {
  std::size_t count = 0;
  for (const auto b : d.planes[plane]) count += b;
  return count;
}

bool blocks_uniform(const Chip8Display& d, std::size_t plane) {
  for (std::size_t r = 0; r < kDisplayRows; r += 2) {
    for (std::size_t c = 0; c < kDisplayColumns; c += 2) {
      const auto* p = &d.planes[plane][r * kDisplayColumns + c];
      if (p[0] != p[1] || p[0] != p[kDisplayColumns] || p[0] != p[kDisplayColumns + 1]) return false;
    }
  }
  return true;
}

const std::vector<std::uint8_t> kFullRows(15, 0xFF);

TEST(DisplayDraw, ClippedSpriteAtTheCornerKeepsOnlyTheVisiblePart) {
  Chip8Display d;
  d.draw_sprite(60, 28, 15, kFullRows, /*clip_sprites=*/true);
  const auto rows = picture(d);
  for (std::size_t r = 0; r < 32; ++r) {
    const std::string expected = r >= 28 ? std::string(60, '.') + "####" : std::string(64, '.');
    EXPECT_EQ(rows[r], expected) << r;
  }
}

TEST(DisplayDraw, UnclippedSpriteWrapsColumnsButNeverRows) {
  Chip8Display d;
  d.draw_sprite(60, 28, 15, kFullRows, /*clip_sprites=*/false);
  const auto rows = picture(d);
  for (std::size_t r = 0; r < 32; ++r) {
    const std::string expected = r >= 28 ? "####" + std::string(56, '.') + "####" : std::string(64, '.');
    EXPECT_EQ(rows[r], expected) << r;
  }
}

TEST(DisplayDraw, CoordinatesWrapOntoTheScreenBeforeDrawing) {
  Chip8Display d;
  const std::vector<std::uint8_t> dot{0x80};
  d.draw_sprite(200, 40, 1, dot, true);  // 200 mod 64 = 8, 40 mod 32 = 8
  EXPECT_EQ(picture(d)[8][8], '#');
  EXPECT_EQ(lit_physical(d, 0), 4u);
  d.hires = true;
  d.draw_sprite(200, 70, 1, dot, true);  // 200 mod 128 = 72, 70 mod 64 = 6
  EXPECT_EQ(d.planes[0][6 * 128 + 72], 1);
}

TEST(DisplayDraw, WideSpriteInLowResolutionCoversThirtyTwoPhysicalPixels) {
  Chip8Display d;
  const std::vector<std::uint8_t> solid(32, 0xFF);
  EXPECT_FALSE(d.draw_sprite(0, 0, 0, solid, true));
  EXPECT_EQ(lit_physical(d, 0), 32u * 32u);
  EXPECT_EQ(d.planes[0][31 * 128 + 31], 1);
  EXPECT_EQ(d.planes[0][32 * 128 + 0], 0);
  EXPECT_EQ(d.planes[0][0 * 128 + 32], 0);
}

TEST(DisplayDraw, WideSpriteRowsTakeTwoBytesLeftByteFirst) {
  Chip8Display d;
  d.hires = true;
  std::vector<std::uint8_t> sprite(32, 0);
  sprite[0] = 0x80;  // row 0, column 0
  sprite[3] = 0x01;  // row 1, column 15
  d.draw_sprite(0, 0, 0, sprite, true);
  EXPECT_EQ(d.planes[0][0], 1);
  EXPECT_EQ(d.planes[0][128 + 15], 1);
  EXPECT_EQ(lit_physical(d, 0), 2u);
}

TEST(DisplayDraw, DrawingTwiceRestoresThePictureAndReportsCollision) {
  for (const bool hires : {false, true}) {
    Chip8Display d;
    d.hires = hires;
    const std::vector<std::uint8_t> glyph{0xF0, 0x90, 0x90, 0x90, 0xF0};
    EXPECT_FALSE(d.draw_sprite(3, 4, 5, glyph, true));
    EXPECT_GT(lit_physical(d, 0), 0u);
    EXPECT_TRUE(d.draw_sprite(3, 4, 5, glyph, true));
    EXPECT_EQ(d, Chip8Display{.hires = hires});
  }
}

TEST(DisplayDraw, SelectedPlanesReadConsecutiveSpritesAndShareOneCollisionFlag) {
  Chip8Display d;
  d.plane_mask = 2;
  const std::vector<std::uint8_t> only_plane1{0x80};
  EXPECT_FALSE(d.draw_sprite(0, 0, 1, only_plane1, true));
  EXPECT_EQ(d.planes[1][0], 1);
  EXPECT_EQ(d.planes[0][0], 0);
  // Both planes: plane 0 takes the first byte, plane 1 the second; the pixel
  // turned off in plane 1 alone sets the flag.
  d.plane_mask = 3;
  const std::vector<std::uint8_t> both{0x40, 0x80};
  EXPECT_TRUE(d.draw_sprite(0, 0, 1, both, true));
  EXPECT_EQ(d.planes[0][2], 1);
  EXPECT_EQ(d.planes[1][0], 0);
}

TEST(DisplayModes, ResolutionSwitchClearsBothPlanesAndClearHonoursTheMask) {
  Chip8Display d;
  d.hires = true;
  d.planes[0].fill(1);
  d.planes[1].fill(1);
  d.plane_mask = 2;
  d.clear_selected();
  EXPECT_EQ(lit_physical(d, 0), kPlaneBytes);
  EXPECT_EQ(lit_physical(d, 1), 0u);
  d.plane_mask = 1;
  d.planes[1].fill(1);
  d.set_resolution(false);
  EXPECT_FALSE(d.hires);
  EXPECT_EQ(lit_physical(d, 0), 0u);
  EXPECT_EQ(lit_physical(d, 1), 0u);
}

struct ScrollCase {
  const char* name;
  bool hires;
  void (*scroll)(Chip8Display&);
  int dx, dy;  // logical movement
};

TEST(DisplayScroll, MovesByLogicalPixelsAndClearsWhatIsUncovered) {
  const ScrollCase cases[] = {
      {"down3_lores", false, [](Chip8Display& d) { d.scroll_down(3); }, 0, 3},
      {"down3_hires", true, [](Chip8Display& d) { d.scroll_down(3); }, 0, 3},
      {"up5_lores", false, [](Chip8Display& d) { d.scroll_up(5); }, 0, -5},
      {"up5_hires", true, [](Chip8Display& d) { d.scroll_up(5); }, 0, -5},
      {"right_lores", false, [](Chip8Display& d) { d.scroll_right(); }, 4, 0},
      {"right_hires", true, [](Chip8Display& d) { d.scroll_right(); }, 4, 0},
      {"left_lores", false, [](Chip8Display& d) { d.scroll_left(); }, -4, 0},
      {"left_hires", true, [](Chip8Display& d) { d.scroll_left(); }, -4, 0},
  };
  for (const ScrollCase& c : cases) {
    SCOPED_TRACE(c.name);
    Chip8Display d;
    d.hires = c.hires;
    // A full first and last row and column, so both edges show what is cleared.
    const std::size_t w = d.logical_width(), h = d.logical_height();
    const std::size_t s = c.hires ? 1 : 2;
    auto set = [&](std::size_t col, std::size_t row) {
      for (std::size_t i = 0; i < s; ++i)
        for (std::size_t j = 0; j < s; ++j) d.planes[0][(row * s + i) * 128 + col * s + j] = 1;
    };
    for (std::size_t i = 0; i < w; ++i) set(i, 0), set(i, h - 1);
    for (std::size_t i = 0; i < h; ++i) set(0, i), set(w - 1, i);
    const auto before = picture(d);
    c.scroll(d);
    const auto after = picture(d);
    for (std::size_t r = 0; r < h; ++r) {
      for (std::size_t col = 0; col < w; ++col) {
        const long sr = static_cast<long>(r) - c.dy, sc = static_cast<long>(col) - c.dx;
        const bool inside = sr >= 0 && sr < static_cast<long>(h) && sc >= 0 && sc < static_cast<long>(w);
        const char expected = inside ? before[sr][sc] : '.';
        ASSERT_EQ(after[r][col], expected) << "row " << r << " col " << col;
      }
    }
    EXPECT_TRUE(blocks_uniform(d, 0) || c.hires);
  }
}

TEST(DisplayScroll, OnlySelectedPlanesMoveAndZeroRowsMovesNothing) {
  Chip8Display d;
  d.planes[0][0] = d.planes[0][1] = d.planes[0][128] = d.planes[0][129] = 1;
  d.planes[1] = d.planes[0];
  d.plane_mask = 2;
  d.scroll_down(1);
  EXPECT_EQ(d.planes[0][0], 1);
  EXPECT_EQ(d.planes[1][0], 0);
  EXPECT_EQ(d.planes[1][2 * 128], 1);
  const Chip8Display before = d;
  d.plane_mask = 3;
  d.scroll_down(0);
  EXPECT_EQ(d, (Chip8Display{before.planes, false, 3}));
}

TEST(DisplayScroll, LowResolutionScrollMakesMixedBlocksUniform) {
  Chip8Display d;
  d.planes[0][0] = 1;                  // block (0, 0): top-left on, rest off
  d.planes[0][2 * 128 + 1] = 1;        // block (0, 1): top-left off, one other on
  d.scroll_down(0);
  EXPECT_TRUE(blocks_uniform(d, 0));
  EXPECT_EQ(d.planes[0][129], 1);
  EXPECT_EQ(d.planes[0][2 * 128 + 1], 0);
}

TEST(DisplayExport, PlaneZeroThenPlaneOneWhateverTheMode) {
  Chip8Display d;
  d.hires = true;
  d.plane_mask = 0;
  d.planes[0][5] = 1;
  d.planes[1][kPlaneBytes - 1] = 1;
  const auto frame = d.export_frame();
  ASSERT_EQ(frame.size(), kFrameBytes);
  EXPECT_EQ(frame[5], 1);
  EXPECT_EQ(frame[kFrameBytes - 1], 1);
  EXPECT_EQ(std::count(frame.begin(), frame.end(), 1), 2);
}

}  // namespace
}  // namespace chip8
