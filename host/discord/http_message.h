// An HTTP request as the interactions endpoint reads it, and the answer it gives: plain data, so
// that what reads requests needs no sockets.
#pragma once

#include <map>
#include <string>

namespace deckhand::discord {

struct HttpRequest {
  std::string method;  // "POST"
  std::string target;  // "/interactions"
  // Header names in lower case; a header sent twice keeps its last value.
  std::map<std::string, std::string> headers;
  std::string body;  // the raw bytes, as signed
};

struct HttpResponse {
  int status = 200;
  std::string content_type = "application/json";
  std::string body;
};

}  // namespace deckhand::discord
