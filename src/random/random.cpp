#include "random/random.h"

namespace deckhand {

RandomGenerator SeedRandom() { return RandomGenerator(MillisecondTick()); }

}  // namespace deckhand
