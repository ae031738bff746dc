/*
 * deckhand: one shuffled deck of named cards per chat target, for chat-bot hosts.
 *
 * The call contract, for every function below:
 *
 *  - `line` is the host's command line: a NUL-terminated byte string of space-separated
 *    fields. Field 1 is the user (not read), field 2 the target (a channel or a user), field 3
 *    the mode table file, field 4 the command text ("draw,1-3"). The caller owns it for the
 *    length of the call; the library only reads it.
 *  - `reply` points to DECKHAND_REPLY_SIZE (4096) writable bytes, owned by the caller. A
 *    command writes at most one reply: a NUL-terminated line of at most 4095 bytes, shaped
 *    "NOTICE <target> <text>", with no line terminator. When a command has nothing to say
 *    (for example a Deck of a mode the table lacks), the buffer keeps what the caller put in it.
 *  - All texts are byte strings in the host's code page. Card names, targets and mode names
 *    pass through unchanged; the library's own fixed texts are Shift_JIS (code page 932).
 *  - Data files are resolved against the process's current directory at each call. Nothing is
 *    kept in memory between calls; the functions may be called in any order, and no set-up or
 *    tear-down call exists.
 *  - No function throws, returns a status, or keeps a pointer to its arguments.
 *
 * On Windows the functions use the C calling convention (the caller removes the arguments)
 * and are exported with these undecorated names.
 */
#ifndef DECKHAND_DECKHAND_H
#define DECKHAND_DECKHAND_H

#define DECKHAND_REPLY_SIZE 4096

#if defined(_WIN32)
#define DECKHAND_CALL __cdecl
#define DECKHAND_API
#elif defined(DECKHAND_BUILDING_LIBRARY)
#define DECKHAND_CALL
#define DECKHAND_API __attribute__((visibility("default")))
#else
#define DECKHAND_CALL
#define DECKHAND_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* The shape shared by all five exports, for hosts that look them up by name. */
typedef void(DECKHAND_CALL* DeckhandCommand)(char* line, char* reply);

/* Deals the target a fresh shuffled deck of the mode named after the first comma of field 4,
 * looked up in the mode table named by field 3. */
DECKHAND_API void DECKHAND_CALL Deck(char* line, char* reply);

/* Draws cards by position from the top ("draw", "draw,2", "draw,1-3", "draw,3,1"). */
DECKHAND_API void DECKHAND_CALL Draw(char* line, char* reply);

/* Replies with the number of cards left in the target's deck. */
DECKHAND_API void DECKHAND_CALL Count(char* line, char* reply);

/* Replies with the cards left, top first, joined by commas. */
DECKHAND_API void DECKHAND_CALL Check(char* line, char* reply);

/* Reshuffles the cards left. */
DECKHAND_API void DECKHAND_CALL Shuffle(char* line, char* reply);

#ifdef __cplusplus
}
#endif

#endif /* DECKHAND_DECKHAND_H */
