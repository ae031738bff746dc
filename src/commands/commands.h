// The five commands, each taking the host's command line and its reply buffer
// (kReplyCapacity bytes). The exports in exports.cpp only guard these against exceptions.
#pragma once

namespace deckhand {

void DeckCommand(const char* line, char* reply);
void DrawCommand(const char* line, char* reply);
void CountCommand(const char* line, char* reply);
void CheckCommand(const char* line, char* reply);
void ShuffleCommand(const char* line, char* reply);

}  // namespace deckhand
