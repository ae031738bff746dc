// A library that exports Count but not the other four commands, for deckhand to refuse.
#include <cstring>

extern "C" __attribute__((visibility("default"))) void Count(char* /*line*/, char* reply) {
  std::strcpy(reply, "NOTICE #t 0");
}
