/* A minimal host: loads the deckhand library at run time, as a chat bot loads its plug-ins,
 * and asks it to draw cards for a target. Build and run:
 *
 *     cc -o draw draw.c -ldl
 *     ./draw /usr/local/lib/libdeckhand.so.1 '#table' draw,1-3 | iconv -f CP932
 *
 * The data files (modes.ini, the deck files, decksave.ini) are those of the current directory.
 * Texts are Shift_JIS bytes, printed as they are (hence iconv on a UTF-8 terminal): a real host
 * converts the reply to its chat's encoding before it sends it. */
#include <dlfcn.h>
#include <stdio.h>
#include <string.h>

#define REPLY_SIZE 4096 /* the size every command expects of its reply buffer */

typedef void (*Command)(char* line, char* reply);

int main(int argc, char** argv) {
  if (argc != 4) {
    fprintf(stderr, "usage: %s LIBRARY TARGET draw,N\n", argv[0]);
    return 2;
  }
  void* library = dlopen(argv[1], RTLD_NOW | RTLD_LOCAL);
  if (library == NULL) {
    fprintf(stderr, "cannot load %s: %s\n", argv[1], dlerror());
    return 1;
  }
  Command draw = (Command)dlsym(library, "Draw");
  if (draw == NULL) {
    fprintf(stderr, "%s has no Draw\n", argv[1]);
    return 1;
  }

  /* The command line: user, target, mode table, command text, separated by spaces. The library
   * only reads it. */
  char line[1024];
  int length = snprintf(line, sizeof line, "host %s modes.ini %s", argv[2], argv[3]);
  if (length < 0 || (size_t)length >= sizeof line) {
    fprintf(stderr, "the command is too long\n");
    return 2;
  }
  /* A command that has nothing to say leaves the buffer as it was: start it empty. */
  char reply[REPLY_SIZE] = "";
  draw(line, reply);

  if (reply[0] == '\0') {
    fprintf(stderr, "no reply\n");
    return 1;
  }
  printf("%s\n", reply); /* "NOTICE #table <cards>": send it to the chat */
  dlclose(library);
  return 0;
}
