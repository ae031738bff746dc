// deckhand-discord at work: the HTTP server hands each verified command to the game's one
// thread, answers Discord within its deadline (the game's reply, or "thinking" and the reply
// through the webhook later), and a sender thread makes the webhook calls in order.
#pragma once

#include <atomic>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ssl/context.hpp>
#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "host/common/chat_application.h"
#include "host/discord/http_client.h"
#include "host/discord/http_server.h"
#include "host/discord/interactions.h"
#include "host/discord/settings.h"
#include "host/discord/work_queue.h"

namespace deckhand::discord {

class DiscordBot {
 public:
  DiscordBot(boost::asio::io_context& io, const DiscordSettings& settings,
             const InteractionEndpoint& endpoint, host::ChatApplication& game,
             std::shared_ptr<boost::asio::ssl::context> tls);
  ~DiscordBot();
  DiscordBot(const DiscordBot&) = delete;
  DiscordBot& operator=(const DiscordBot&) = delete;

  // Listens and starts the game's and the sender's threads; false and `error` when the address
  // cannot be bound.
  bool Start(std::string* error);
  // Stops listening; the commands already handed on are answered, then the threads end.
  void Stop();
  unsigned short port() const { return server_.port(); }

 private:
  struct Job;

  void OnRequest(HttpRequest request, Respond respond);
  void DeferWhenLate(const std::shared_ptr<Job>& job);
  void PlayGame();
  void Answer(Job& job);
  void SendWebhookCalls();
  std::chrono::milliseconds WebhookDeadline() const;

  boost::asio::io_context* io_;
  const DiscordSettings* settings_;
  const InteractionEndpoint* endpoint_;
  host::ChatApplication* game_;
  HttpServer server_;
  WorkQueue<std::shared_ptr<Job>> commands_;
  WorkQueue<ClientRequest> webhook_calls_;
  std::thread game_thread_;
  std::thread sender_thread_;
  // Set once the bot stops: the replies still queued must be sent by then.
  std::atomic<bool> stopping_{false};
  std::chrono::steady_clock::time_point send_by_;
};

}  // namespace deckhand::discord
