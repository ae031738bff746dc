#include "random/random.h"

#include <cstring>

namespace deckhand {
namespace {

RandomFill active_fill = nullptr;

}  // namespace

RandomFill ActiveRandomFill() { return active_fill != nullptr ? active_fill : FillSystemRandom; }

ScopedRandomFill::ScopedRandomFill(RandomFill fill) : previous_(active_fill) { active_fill = fill; }

ScopedRandomFill::~ScopedRandomFill() { active_fill = previous_; }

std::optional<std::uint32_t> SystemRandom::Next() {
  if (failed_) return std::nullopt;
  if (next_ == block_.size()) {
    if (!ActiveRandomFill()(block_.data(), sizeof block_)) {
      failed_ = true;
      return std::nullopt;
    }
    next_ = 0;
  }
  return block_[next_++];
}

}  // namespace deckhand
