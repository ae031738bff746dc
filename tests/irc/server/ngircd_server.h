// A real IRC server for the tests: Debian's ngircd, started in the foreground on free loopback
// ports with a configuration generated into a scratch directory (plain and TLS ports, a
// self-signed certificate made with openssl, PID file and MOTD beside it), and stopped again.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

#include "irc/server/child_process.h"

namespace deckhand::irc::testing {

// ngircd's path, or an empty string when it is not installed.
std::string FindNgircd();

// A port on 127.0.0.1 that nothing listens on now (bound with port 0 and released).
std::uint16_t FreeLoopbackPort();

// True when a TCP connection to 127.0.0.1:port is accepted.
bool Accepts(std::uint16_t port);

class NgircdServer {
 public:
  // The operator the test client logs in as, to take the user mode that frees it from the
  // server's flood penalties (the bot never gets it: its own pacing is under test).
  static constexpr const char* kOperatorName = "tester";
  static constexpr const char* kOperatorPassword = "test-only";

  // Writes the configuration into `directory` (which must exist). Without `flood_penalties`
  // the server never slows a fast client down (for measuring the bot, not the server).
  explicit NgircdServer(std::filesystem::path directory, bool flood_penalties = true);
  ~NgircdServer() { Stop(); }
  NgircdServer(const NgircdServer&) = delete;
  NgircdServer& operator=(const NgircdServer&) = delete;

  // Starts ngircd and waits (bounded) until both ports accept. False, with the reason in
  // error(), when it does not come up.
  bool Start();
  // SIGTERM and a bounded wait; SIGKILL when that is not enough.
  void Stop();
  // Ends the server at once (SIGKILL), as a crash would.
  void Kill();

  std::uint16_t port() const { return port_; }
  std::uint16_t tls_port() const { return tls_port_; }
  const std::filesystem::path& certificate() const { return certificate_; }
  const std::filesystem::path& log() const { return log_; }
  const std::string& error() const { return error_; }
  static constexpr const char* kName = "irc.test.example";

 private:
  bool MakeCertificate();
  void WriteConfiguration() const;

  std::filesystem::path directory_;
  std::filesystem::path configuration_;
  std::filesystem::path certificate_;
  std::filesystem::path key_;
  std::filesystem::path log_;
  std::uint16_t port_ = 0;
  std::uint16_t tls_port_ = 0;
  bool flood_penalties_ = true;
  ChildProcess process_;
  std::string error_;
};

}  // namespace deckhand::irc::testing
