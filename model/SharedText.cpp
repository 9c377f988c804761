#include "model/SharedText.h"

#include <cstring>
#include <limits>
#include <new>
#include <ostream>
#include <stdexcept>

namespace {

constexpr std::size_t kBlockAlignment = alignof(std::atomic<std::uint32_t>);

std::size_t roundedUp(std::size_t size) { return (size + kBlockAlignment - 1) / kBlockAlignment * kBlockAlignment; }

void checkLength(std::size_t size) {
  // Far beyond any text a record holds; the offsets of texts made together must fit 31 bits.
  if (size >= (std::size_t{1} << 30)) throw std::length_error("SharedText: text too long");
}

}  // namespace

// The bytes have no closing NUL: the text is only ever read with its length.
SharedText::Block* SharedText::make(std::string_view text) {
  checkLength(text.size());
  void* memory = ::operator new(sizeof(Block) + text.size());
  auto* block = new (memory) Block();
  block->size = static_cast<std::uint32_t>(text.size());
  if (!text.empty()) std::memcpy(reinterpret_cast<char*>(block + 1), text.data(), text.size());
  return block;
}

void SharedText::makeTogether(const std::optional<std::string_view>* texts, SharedText* made, std::size_t count) {
  std::size_t total = 0;
  for (std::size_t i = 0; i < count; ++i) {
    if (!texts[i]) continue;
    checkLength(texts[i]->size());
    total += roundedUp(sizeof(Block) + texts[i]->size());
  }
  checkLength(total);
  if (total == 0) return;
  auto* memory = static_cast<char*>(::operator new(total));
  std::size_t offset = 0;
  Block* first = nullptr;
  std::uint32_t references = 0;
  for (std::size_t i = 0; i < count; ++i) {
    if (!texts[i]) continue;
    auto* block = new (memory + offset) Block();
    block->size = static_cast<std::uint32_t>(texts[i]->size());
    if (!texts[i]->empty()) std::memcpy(reinterpret_cast<char*>(block + 1), texts[i]->data(), texts[i]->size());
    if (first) block->word.store(Block::kLater | static_cast<std::uint32_t>(offset), std::memory_order_relaxed);
    if (!first) first = block;
    ++references;
    made[i].reset();
    made[i].block_ = block;
    offset += roundedUp(sizeof(Block) + texts[i]->size());
  }
  // One reference for each text made; counted once, as no other thread sees the block yet.
  first->word.store(references, std::memory_order_relaxed);
}

void SharedText::release() noexcept {
  if (!block_) return;
  Block* first = block_->first();
  block_ = nullptr;
  if (first->word.fetch_sub(1, std::memory_order_acq_rel) == 1) {
    // Every header of the allocation is trivially destructible; the bytes go at once.
    ::operator delete(static_cast<void*>(first));
  }
}

std::ostream& operator<<(std::ostream& out, const SharedText& text) {
  if (!text) return out << "nullopt";
  return out << std::string_view(*text);
}
