#pragma once
// An optional text that cannot change once made, held in one allocation shared by its copies.
// A record keeps many optional addresses; as `std::optional<std::string>` each costs 40 bytes
// even when absent, and the same address kept under several names costs its bytes each time.
// Here an absent text costs one pointer, and copies of a text share it.
//
// It reads like `std::optional<std::string>`: test it as a Boolean or with `has_value()`,
// take the text with `*`, compare it with texts, with `std::nullopt` and with optional texts.
// The text itself is a `SharedText::Ref`, a string view that also converts to `std::string`.

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <iosfwd>
#include <optional>
#include <string>
#include <string_view>

class SharedText {
 public:
  // The text, valid while a `SharedText` holding it lives.
  class Ref : public std::string_view {
   public:
    constexpr Ref() = default;
    constexpr Ref(const char* text, std::size_t size) : std::string_view(text, size) {}
    constexpr Ref(std::string_view text) : std::string_view(text) {}
    operator std::string() const { return std::string(data(), size()); }
  };

  SharedText() = default;
  SharedText(std::nullopt_t) {}
  SharedText(std::string_view text) : block_(make(text)) {}
  SharedText(const char* text) : SharedText(std::string_view(text)) {}
  SharedText(const std::string& text) : SharedText(std::string_view(text)) {}
  SharedText(const std::optional<std::string>& text) : block_(text ? make(*text) : nullptr) {}
  SharedText(const std::optional<std::string_view>& text) : block_(text ? make(*text) : nullptr) {}
  SharedText(const SharedText& other) noexcept : block_(other.block_) { retain(); }
  SharedText(SharedText&& other) noexcept : block_(other.block_) { other.block_ = nullptr; }
  SharedText& operator=(const SharedText& other) noexcept {
    SharedText(other).swap(*this);
    return *this;
  }
  SharedText& operator=(SharedText&& other) noexcept {
    SharedText(std::move(other)).swap(*this);
    return *this;
  }
  ~SharedText() { release(); }

  // Texts made at once and usually let go at once (the optional texts of one record): all
  // of them in one allocation, which goes when the last of them does. Absent ones stay absent.
  template <std::size_t N>
  static std::array<SharedText, N> together(const std::array<std::optional<std::string_view>, N>& texts) {
    std::array<SharedText, N> made;
    makeTogether(texts.data(), made.data(), N);
    return made;
  }

  bool has_value() const noexcept { return block_ != nullptr; }
  explicit operator bool() const noexcept { return has_value(); }
  void reset() noexcept { SharedText().swap(*this); }
  void swap(SharedText& other) noexcept { std::swap(block_, other.block_); }

  // The text; an absent one reads as empty (as with `std::optional`, ask first).
  Ref operator*() const noexcept { return block_ ? Ref(block_->text(), block_->size) : Ref(); }
  // For `text->size()` and the like.
  struct Arrow {
    Ref text;
    const Ref* operator->() const noexcept { return &text; }
  };
  Arrow operator->() const noexcept { return {**this}; }
  // The text, or `fallback` when absent.
  std::string value_or(std::string_view fallback) const { return std::string(block_ ? **this : fallback); }
  std::optional<std::string> optional() const {
    return block_ ? std::optional<std::string>(std::string(**this)) : std::nullopt;
  }
  operator std::optional<std::string>() const { return optional(); }
  // Whether both hold the same allocation (copies of one text), not merely equal texts.
  bool sharesTextWith(const SharedText& other) const noexcept { return block_ && block_ == other.block_; }

  friend bool operator==(const SharedText& a, const SharedText& b) noexcept {
    if (a.block_ == b.block_) return true;
    return a.block_ && b.block_ && *a == *b;
  }
  friend bool operator==(const SharedText& a, std::nullopt_t) noexcept { return !a.block_; }
  friend bool operator==(const SharedText& a, std::string_view b) noexcept { return a.block_ && *a == b; }
  friend bool operator==(const SharedText& a, const char* b) noexcept { return a == std::string_view(b); }
  friend bool operator==(const SharedText& a, const std::string& b) noexcept { return a == std::string_view(b); }
  friend bool operator==(const SharedText& a, const std::optional<std::string>& b) noexcept {
    return b ? a == std::string_view(*b) : !a.block_;
  }
  // Prints the text, or "nullopt" when absent (test failures show it).
  friend std::ostream& operator<<(std::ostream& out, const SharedText& text);

 private:
  // A text's header, its bytes right after it. The first text of an allocation counts the
  // references to the whole allocation in `word`; a later one made with it holds there its
  // distance from the first, marked by the top bit (a count never gets that far: it would
  // take 2^31 copies).
  struct Block {
    static constexpr std::uint32_t kLater = 0x80000000u;
    std::atomic<std::uint32_t> word{1};
    std::uint32_t size = 0;
    const char* text() const noexcept { return reinterpret_cast<const char*>(this + 1); }
    Block* first() noexcept {
      const std::uint32_t value = word.load(std::memory_order_relaxed);
      if (!(value & kLater)) return this;
      return reinterpret_cast<Block*>(reinterpret_cast<char*>(this) - (value & ~kLater));
    }
  };

  static Block* make(std::string_view text);
  static void makeTogether(const std::optional<std::string_view>* texts, SharedText* made, std::size_t count);
  void retain() const noexcept {
    if (block_) block_->first()->word.fetch_add(1, std::memory_order_relaxed);
  }
  void release() noexcept;

  Block* block_ = nullptr;
};
