#include "chip8_core/state_codec/state_codec.hpp"

#include <algorithm>
#include <format>

namespace chip8 {
namespace {

class ImageWriter {
 public:
  ImageWriter() { bytes_.reserve(kStateImageBytes); }

  void u8(std::uint8_t value) { bytes_.push_back(value); }
  void u16(std::uint16_t value) { little_endian(value, 2); }
  void u32(std::uint32_t value) { little_endian(value, 4); }
  void u64(std::uint64_t value) { little_endian(value, 8); }
  void raw(std::span<const std::uint8_t> block) { bytes_.insert(bytes_.end(), block.begin(), block.end()); }

  std::vector<std::uint8_t> take() { return std::move(bytes_); }

 private:
  void little_endian(std::uint64_t value, int size) {
    for (int i = 0; i < size; ++i) bytes_.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
  }

  std::vector<std::uint8_t> bytes_;
};

std::uint64_t load_little_endian(std::span<const std::uint8_t> bytes) {
  std::uint64_t value = 0;
  for (std::size_t i = bytes.size(); i-- > 0;) value = value << 8 | bytes[i];
  return value;
}

// Reads the payload front to back; every read checks that its field fits.
class PayloadReader {
 public:
  explicit PayloadReader(std::span<const std::uint8_t> payload) : payload_(payload) {}

  lumivar::Result<std::span<const std::uint8_t>> take(std::size_t size) {
    if (size > payload_.size() - cursor_) {
      return lumivar::fail(std::format("snapshot truncated at offset {} (need {})", cursor_, size));
    }
    const auto field = payload_.subspan(cursor_, size);
    cursor_ += size;
    return field;
  }

  template <class T>
  lumivar::Result<T> integer() {
    return take(sizeof(T)).transform([](auto field) { return static_cast<T>(load_little_endian(field)); });
  }

  lumivar::Result<void> copy_to(std::span<std::uint8_t> out) {
    return take(out.size()).transform([out](auto field) { std::ranges::copy(field, out.begin()); });
  }

  std::size_t cursor() const { return cursor_; }
  std::size_t size() const { return payload_.size(); }

 private:
  std::span<const std::uint8_t> payload_;
  std::size_t cursor_ = 0;
};

lumivar::Result<KeyWait> check_key_wait(std::uint8_t tag, std::uint8_t reg, std::uint8_t key) {
  switch (tag) {
    case 0:
      if (reg != 0 || key != 0) return lumivar::fail("snapshot none key-wait state has non-zero payload");
      return KeyWait::none();
    case 1:
      if (reg >= 16 || key != 0) return lumivar::fail("snapshot wait-press state has an invalid register or payload");
      return KeyWait::wait_press(reg);
    case 2:
      if (reg >= 16 || key >= 16) return lumivar::fail("snapshot wait-release state has an invalid register or key");
      return KeyWait::wait_release(reg, key);
    default:
      return lumivar::fail(std::format("unknown KeyWait tag {}", tag));
  }
}

}  // namespace

std::vector<std::uint8_t> encode_state(const MachineStateImage& image) {
  ImageWriter out;
  out.raw(std::span(reinterpret_cast<const std::uint8_t*>(kStateMagic.data()), kStateMagic.size()));
  out.u16(kStateCodecVersion);
  out.u32(static_cast<std::uint32_t>(kStatePayloadBytes));
  out.raw(image.memory);
  out.raw(image.V);
  out.u16(image.I);
  out.u16(image.PC);
  for (const std::uint16_t entry : image.stack) out.u16(entry);
  out.u8(image.SP);
  out.u8(image.delay);
  out.u8(image.sound);
  out.raw(image.planes[0]);
  out.raw(image.planes[1]);
  out.u8(image.hires ? 1 : 0);
  out.u8(image.plane_mask);
  out.u16(image.keypad_mask);
  out.u64(image.rng_state);
  out.raw(image.flags);
  out.raw(image.pattern);
  out.u8(image.audio_pitch);
  out.u8(image.halted ? 1 : 0);
  const KeyWait& wait = image.key_wait;
  out.u8(static_cast<std::uint8_t>(wait.phase));
  out.u8(wait.phase == KeyWait::Phase::None ? 0 : wait.x);
  out.u8(wait.phase == KeyWait::Phase::WaitRelease ? wait.key : 0);
  return out.take();
}

lumivar::Result<MachineStateImage> decode_state(std::span<const std::uint8_t> bytes) {
  if (bytes.size() < kStateHeaderBytes) {
    return lumivar::fail(
        std::format("snapshot header truncated: got {} bytes, need {}", bytes.size(), kStateHeaderBytes));
  }
  if (!std::ranges::equal(bytes.first(kStateMagic.size()), kStateMagic,
                          [](std::uint8_t b, char c) { return b == static_cast<std::uint8_t>(c); })) {
    return lumivar::fail("snapshot magic does not match the CHIP-8 state codec");
  }
  const auto version = static_cast<std::uint16_t>(load_little_endian(bytes.subspan(8, 2)));
  if (version != kStateCodecVersion) {
    return lumivar::fail(
        std::format("unsupported CHIP-8 snapshot codec version {}; expected {}", version, kStateCodecVersion));
  }
  const auto declared = static_cast<std::uint32_t>(load_little_endian(bytes.subspan(10, 4)));
  if (declared != kStatePayloadBytes) {
    return lumivar::fail(
        std::format("snapshot declares payload length {}; expected {}", declared, kStatePayloadBytes));
  }
  if (bytes.size() != kStateImageBytes) {
    return lumivar::fail(std::format("snapshot length mismatch: got {}, expected {}", bytes.size(), kStateImageBytes));
  }

  MachineStateImage image;
  PayloadReader in(bytes.subspan(kStateHeaderBytes));
  if (auto r = in.copy_to(image.memory); !r) return std::unexpected(r.error());
  if (auto r = in.copy_to(image.V); !r) return std::unexpected(r.error());
  auto i = in.integer<std::uint16_t>();
  if (!i) return std::unexpected(i.error());
  image.I = *i;
  auto pc = in.integer<std::uint16_t>();
  if (!pc) return std::unexpected(pc.error());
  image.PC = *pc;
  auto stack = in.take(2 * kStackDepth);
  if (!stack) return std::unexpected(stack.error());
  for (std::size_t k = 0; k < kStackDepth; ++k) {
    image.stack[k] = static_cast<std::uint16_t>(load_little_endian(stack->subspan(2 * k, 2)));
  }
  auto sp = in.integer<std::uint8_t>();
  if (!sp) return std::unexpected(sp.error());
  if (*sp > kStackDepth) return lumivar::fail(std::format("snapshot stack pointer {} exceeds stack depth 16", *sp));
  image.SP = *sp;
  auto delay = in.integer<std::uint8_t>();
  if (!delay) return std::unexpected(delay.error());
  image.delay = *delay;
  auto sound = in.integer<std::uint8_t>();
  if (!sound) return std::unexpected(sound.error());
  image.sound = *sound;
  for (DisplayPlane& plane : image.planes) {
    if (auto r = in.copy_to(plane); !r) return std::unexpected(r.error());
  }
  auto hires = in.integer<std::uint8_t>();
  if (!hires) return std::unexpected(hires.error());
  if (*hires > 1) return lumivar::fail(std::format("snapshot display_hires boolean is non-canonical: {}", *hires));
  image.hires = *hires == 1;
  auto plane_mask = in.integer<std::uint8_t>();
  if (!plane_mask) return std::unexpected(plane_mask.error());
  if (*plane_mask > 3) return lumivar::fail(std::format("snapshot display plane mask {} exceeds 3", *plane_mask));
  image.plane_mask = *plane_mask;
  auto keypad = in.integer<std::uint16_t>();
  if (!keypad) return std::unexpected(keypad.error());
  image.keypad_mask = *keypad;
  auto rng = in.integer<std::uint64_t>();
  if (!rng) return std::unexpected(rng.error());
  if (*rng == 0) return lumivar::fail("snapshot RNG state must be non-zero");
  image.rng_state = *rng;
  if (auto r = in.copy_to(image.flags); !r) return std::unexpected(r.error());
  if (auto r = in.copy_to(image.pattern); !r) return std::unexpected(r.error());
  auto pitch = in.integer<std::uint8_t>();
  if (!pitch) return std::unexpected(pitch.error());
  image.audio_pitch = *pitch;
  auto halted = in.integer<std::uint8_t>();
  if (!halted) return std::unexpected(halted.error());
  if (*halted > 1) return lumivar::fail(std::format("snapshot halted boolean is non-canonical: {}", *halted));
  image.halted = *halted == 1;
  auto wait = in.take(3);
  if (!wait) return std::unexpected(wait.error());
  auto key_wait = check_key_wait((*wait)[0], (*wait)[1], (*wait)[2]);
  if (!key_wait) return std::unexpected(key_wait.error());
  image.key_wait = *key_wait;
  if (in.cursor() != in.size()) {
    return lumivar::fail(std::format("snapshot decoder consumed {} of {} payload bytes", in.cursor(), in.size()));
  }
  return image;
}

MachineStateImage capture_machine_state(const Chip8Machine& machine) {
  MachineStateImage image;
  image.memory = machine.memory;
  image.V = machine.V;
  image.I = machine.I;
  image.PC = machine.PC;
  image.stack = machine.stack;
  image.SP = machine.SP;
  image.delay = machine.delay;
  image.sound = machine.sound;
  image.planes = machine.display.planes;
  image.hires = machine.display.hires;
  image.plane_mask = machine.display.plane_mask;
  image.keypad_mask = machine.keypad_mask;
  image.rng_state = machine.rng_state;
  image.flags = machine.flags;
  image.pattern = machine.pattern;
  image.audio_pitch = machine.audio_pitch;
  image.halted = machine.halted;
  image.key_wait = machine.key_wait;
  return image;
}

void restore_machine_state(Chip8Machine& machine, const MachineStateImage& image) {
  // Decoded and captured images always hold these; anything else would let the
  // machine index past its stack, planes or registers.
  const KeyWait& wait = image.key_wait;
  if (image.SP > kStackDepth || image.plane_mask > 3 || wait.x >= 16 || wait.key >= 16 ||
      static_cast<std::uint8_t>(wait.phase) > 2) {
    lumivar::fatal("CHIP-8 state image breaks a machine invariant");
  }
  machine.memory = image.memory;
  machine.V = image.V;
  machine.I = image.I;
  machine.PC = image.PC;
  machine.stack = image.stack;
  machine.SP = image.SP;
  machine.delay = image.delay;
  machine.sound = image.sound;
  machine.display.planes = image.planes;
  machine.display.hires = image.hires;
  machine.display.plane_mask = image.plane_mask;
  machine.keypad_mask = image.keypad_mask;
  machine.rng_state = image.rng_state == 0 ? 1 : image.rng_state;
  machine.flags = image.flags;
  machine.pattern = image.pattern;
  machine.audio_pitch = image.audio_pitch;
  machine.halted = image.halted;
  machine.key_wait = wait;
}

}  // namespace chip8
