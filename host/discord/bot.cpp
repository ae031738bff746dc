#include "host/discord/bot.h"

#include <algorithm>
#include <boost/asio/ip/address.hpp>
#include <boost/asio/steady_timer.hpp>
#include <chrono>
#include <nlohmann/json.hpp>
#include <optional>
#include <thread>

#include "host/common/chat_host_start.h"
#include "host/common/log.h"

namespace deckhand::discord {
namespace {

using host::Log;
using host::LogLevel;

// The webhook calls of replies not yet sent, and how long one may take.
constexpr std::size_t kMostWebhookCalls = 1024;
constexpr std::chrono::seconds kWebhookDeadline{15};
constexpr std::size_t kLoggedTarget = 100;
// Discord answers a client past its rate limit 429, with how long to wait before sending again;
// a reply dropped there would leave the channel untold (of a hidden draw, say). A call is sent
// again after waits up to this long, a few times; a longer wait would hold back every reply.
constexpr double kMostRateLimitSeconds = 5;
constexpr int kMostWebhookAttempts = 3;
// Once the bot stops, the replies still queued have this long in all: a Discord that does not
// answer would otherwise hold the bot's end for each call's deadline in turn.
constexpr std::chrono::seconds kStopDeadline{5};

std::chrono::milliseconds Milliseconds(double seconds) {
  return std::chrono::milliseconds(static_cast<long long>(seconds * 1000));
}

ServerLimits LimitsOf(const DiscordSettings& settings) {
  ServerLimits limits;
  limits.connections = static_cast<std::size_t>(settings.connections);
  limits.read_deadline = Milliseconds(settings.read_seconds);
  return limits;
}

boost::asio::ip::tcp::endpoint ListenOn(const DiscordSettings& settings) {
  boost::system::error_code failure;
  boost::asio::ip::address address = boost::asio::ip::make_address(settings.listen, failure);
  if (failure) address = boost::asio::ip::address_v4::loopback();
  return {address, static_cast<unsigned short>(settings.port)};
}

// Where a command came from, for the log: never what it showed.
std::string Origin(const host::ChatRequest& request) {
  return request.player.name + " (" + request.player.id + ") " +
         (request.at_private_table() ? "at their table" : "in " + request.place.name);
}

// How long Discord asks to wait before the call is sent again; nullopt when it is not to be.
std::optional<std::chrono::milliseconds> RateLimitWait(const ClientResponse& response) {
  if (response.status != 429) return std::nullopt;
  nlohmann::json body = nlohmann::json::parse(response.body, nullptr, false);
  double seconds =
      body.is_object() && body.contains("retry_after") && body["retry_after"].is_number()
          ? body["retry_after"].get<double>()
          : 1;
  if (!(seconds >= 0 && seconds <= kMostRateLimitSeconds)) return std::nullopt;
  return Milliseconds(seconds);
}

}  // namespace

// A command on its way through the game: answered in time, or deferred and completed later.
struct DiscordBot::Job {
  enum State { kWaiting, kAnswered, kDeferred };
  PendingCommand command;
  Respond respond;
  std::atomic<int> state{kWaiting};
};

DiscordBot::DiscordBot(boost::asio::io_context& io, const DiscordSettings& settings,
                       const InteractionEndpoint& endpoint, host::ChatApplication& game,
                       std::shared_ptr<boost::asio::ssl::context> tls)
    : io_(&io),
      settings_(&settings),
      endpoint_(&endpoint),
      game_(&game),
      server_(
          io, ListenOn(settings), LimitsOf(settings),
          [this](HttpRequest request, Respond respond) {
            OnRequest(std::move(request), std::move(respond));
          },
          std::move(tls)),
      commands_(static_cast<std::size_t>(settings.waiting)),
      webhook_calls_(kMostWebhookCalls) {}

DiscordBot::~DiscordBot() { Stop(); }

bool DiscordBot::Start(std::string* error) {
  if (!server_.Start(error)) return false;
  game_thread_ = std::thread([this] { PlayGame(); });
  sender_thread_ = std::thread([this] { SendWebhookCalls(); });
  return true;
}

void DiscordBot::Stop() {
  server_.Stop();
  commands_.Close();
  if (game_thread_.joinable()) game_thread_.join();
  if (!stopping_) send_by_ = std::chrono::steady_clock::now() + kStopDeadline;
  stopping_ = true;
  webhook_calls_.Close();
  if (sender_thread_.joinable()) sender_thread_.join();
}

void DiscordBot::OnRequest(HttpRequest request, Respond respond) {
  Received received = endpoint_->Receive(request, host::SecondsSince1970());
  if (received.response) {
    if (received.response->status != 200) {
      // Anyone may send anything here: the log keeps a short piece of where it went.
      Log(LogLevel::kWarning, "refused a request to " + request.target.substr(0, kLoggedTarget) +
                                  ": " + std::to_string(received.response->status) + " " +
                                  received.response->body);
    }
    return respond(std::move(*received.response));
  }
  auto job = std::make_shared<Job>();
  job->command = std::move(*received.command);
  job->respond = std::move(respond);
  if (host::VerboseLog()) {
    Log(LogLevel::kInfo, "from " + Origin(job->command.request) + ": " + job->command.request.text);
  }
  std::shared_ptr<Job> handed = job;
  if (!commands_.TryPush(std::move(handed))) {
    Log(LogLevel::kWarning,
        "too many commands waiting: refused one from " + Origin(job->command.request));
    DiscordMessage busy{settings_->discord_texts.busy, true, "", ""};
    return job->respond(InteractionEndpoint::MessageResponse(busy));
  }
  DeferWhenLate(job);
}

// Discord gives an answer 3 seconds: a command still waiting for the game (behind a slow save,
// say) gets the "thinking" answer before then.
void DiscordBot::DeferWhenLate(const std::shared_ptr<Job>& job) {
  // The wait keeps its timer: a timer still waiting when the bot stops goes with the io_context.
  auto timer = std::make_shared<boost::asio::steady_timer>(*io_);
  timer->expires_after(Milliseconds(settings_->answer_seconds));
  timer->async_wait([job, timer](const boost::system::error_code& failure) {
    if (failure) return;
    int waiting = Job::kWaiting;
    if (job->state.compare_exchange_strong(waiting, Job::kDeferred)) {
      job->respond(InteractionEndpoint::DeferredResponse());
    }
  });
}

void DiscordBot::PlayGame() {
  while (std::optional<std::shared_ptr<Job>> job = commands_.Pop()) {
    try {
      Answer(**job);
    } catch (const std::exception& failure) {
      Log(LogLevel::kError, std::string("a command failed: ") + failure.what());
    }
  }
}

void DiscordBot::Answer(Job& job) {
  host::ChatAnswer answer = game_->Answer(job.command.request);
  if (!answer.silent_reason.empty()) {
    Log(LogLevel::kInfo,
        "no reply to " + Origin(job.command.request) + ": " + answer.silent_reason);
  }
  std::vector<DiscordMessage> messages = endpoint_->Messages(job.command, answer);
  int waiting = Job::kWaiting;
  bool in_time = job.state.compare_exchange_strong(waiting, Job::kAnswered);
  if (in_time) job.respond(InteractionEndpoint::MessageResponse(messages.front()));
  for (ClientRequest& call : endpoint_->WebhookCalls(job.command, messages, !in_time)) {
    if (!webhook_calls_.TryPush(std::move(call))) {
      Log(LogLevel::kError, "too many replies waiting for Discord: one to " +
                                Origin(job.command.request) + " was dropped");
    }
  }
}

void DiscordBot::SendWebhookCalls() {
  std::size_t dropped = 0;
  while (std::optional<ClientRequest> call = webhook_calls_.Pop()) {
    if (WebhookDeadline().count() <= 0) {
      ++dropped;
      continue;
    }
    ClientResponse response = SendHttp(*call, WebhookDeadline());
    for (int attempt = 1; attempt < kMostWebhookAttempts; ++attempt) {
      std::optional<std::chrono::milliseconds> wait = RateLimitWait(response);
      if (!wait) break;
      std::this_thread::sleep_for(*wait);
      if (WebhookDeadline().count() <= 0) break;
      response = SendHttp(*call, WebhookDeadline());
    }
    if (response.status < 200 || response.status >= 300) {
      // The URL holds the interaction's token: the log names the call's kind only.
      Log(LogLevel::kWarning,
          "a reply through the webhook (" + call->method + ") failed: " +
              (response.status != 0 ? "HTTP " + std::to_string(response.status) : response.error));
    }
  }
  if (dropped > 0) {
    Log(LogLevel::kWarning, std::to_string(dropped) +
                                " replies through the webhook were not sent: " +
                                "Discord did not take them before the bot stopped");
  }
}

std::chrono::milliseconds DiscordBot::WebhookDeadline() const {
  if (!stopping_) return kWebhookDeadline;
  return std::min<std::chrono::milliseconds>(kWebhookDeadline,
                                             std::chrono::duration_cast<std::chrono::milliseconds>(
                                                 send_by_ - std::chrono::steady_clock::now()));
}

}  // namespace deckhand::discord
