/* A host linked to the installed library, as pkg-config or find_package(deckhand) builds it:
 * prints the reply of Count for the target given. */
#include <deckhand/deckhand.h>
#include <stdio.h>

int main(int argc, char** argv) {
  char line[256];
  char reply[DECKHAND_REPLY_SIZE] = "";
  snprintf(line, sizeof line, "host %s modes.ini count", argc > 1 ? argv[1] : "#t");
  Count(line, reply);
  puts(reply);
  return reply[0] == '\0';
}
