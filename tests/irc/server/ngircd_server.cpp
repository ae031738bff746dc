#include "irc/server/ngircd_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <fstream>
#include <thread>

namespace deckhand::irc::testing {
namespace {

constexpr auto kStartLimit = seconds(20);

sockaddr_in LoopbackAddress(std::uint16_t port) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  return address;
}

}  // namespace

std::string FindNgircd() {
  for (const char* path : {"/usr/sbin/ngircd", "/usr/bin/ngircd", "/usr/local/sbin/ngircd"}) {
    if (access(path, X_OK) == 0) return path;
  }
  return {};
}

std::uint16_t FreeLoopbackPort() {
  int s = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address = LoopbackAddress(0);
  socklen_t size = sizeof address;
  std::uint16_t port = 0;
  if (bind(s, reinterpret_cast<sockaddr*>(&address), size) == 0 &&
      getsockname(s, reinterpret_cast<sockaddr*>(&address), &size) == 0) {
    port = ntohs(address.sin_port);
  }
  close(s);
  return port;
}

bool Accepts(std::uint16_t port) {
  int s = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address = LoopbackAddress(port);
  bool accepted = connect(s, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  close(s);
  return accepted;
}

NgircdServer::NgircdServer(std::filesystem::path directory, bool flood_penalties)
    : directory_(std::move(directory)),
      configuration_(directory_ / "ngircd.conf"),
      certificate_(directory_ / "server-cert.pem"),
      key_(directory_ / "server-key.pem"),
      log_(directory_ / "ngircd.log"),
      port_(FreeLoopbackPort()),
      tls_port_(FreeLoopbackPort()),
      flood_penalties_(flood_penalties) {
  std::ofstream(directory_ / "ngircd.motd") << "deckhand test server\n";
  // Started as root, ngircd runs as "nobody": let it write its PID file here all the same.
  std::filesystem::permissions(directory_, std::filesystem::perms::all,
                               std::filesystem::perm_options::add);
  WriteConfiguration();
}

bool NgircdServer::MakeCertificate() {
  if (std::filesystem::exists(certificate_)) return true;
  // Valid for the loopback address and "localhost", so that a client verifying the name of
  // the server it dialled accepts it.
  std::optional<int> status =
      RunToEnd({"/usr/bin/openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2",
                "-subj", "/CN=localhost", "-addext", "subjectAltName=IP:127.0.0.1,DNS:localhost",
                "-keyout", key_.string(), "-out", certificate_.string()},
               directory_ / "openssl.log");
  if (status != 0)
    error_ = "openssl could not make the certificate: " + ReadFile(directory_ / "openssl.log");
  return status == 0;
}

void NgircdServer::WriteConfiguration() const {
  std::ofstream conf(configuration_);
  conf << "[Global]\n"
       << "Name = " << kName << "\n"
       << "Info = deckhand test server\n"
       << "Listen = 127.0.0.1\n"
       << "Ports = " << port_ << "\n"
       << "MotdFile = " << (directory_ / "ngircd.motd").string() << "\n"
       << "PidFile = " << (directory_ / "ngircd.pid").string() << "\n"
       << "AdminInfo1 = tests\nAdminInfo2 = tests\nAdminEMail = tests@localhost\n"
       << "[Limits]\n"
       << "MaxConnectionsIP = 0\n"
       << "MaxJoins = 0\n"
       << "MaxNickLength = 30\n"
       << "PingTimeout = 120\n"
       << (flood_penalties_ ? "" : "MaxPenaltyTime = 0\n") << "[Options]\n"
       << "DNS = no\n"
       << "Ident = no\n"
       << "PAM = no\n"
       << "[SSL]\n"
       << "CertFile = " << certificate_.string() << "\n"
       << "KeyFile = " << key_.string() << "\n"
       << "Ports = " << tls_port_ << "\n"
       << "[Operator]\n"
       << "Name = " << kOperatorName << "\n"
       << "Password = " << kOperatorPassword << "\n";
}

bool NgircdServer::Start() {
  if (process_.running()) return true;
  std::string ngircd = FindNgircd();
  if (ngircd.empty()) {
    error_ = "ngircd is not installed";
    return false;
  }
  if (!MakeCertificate()) return false;
  // -n: stay in the foreground, so that the test owns the process and its end.
  if (!process_.Start({ngircd, "-n", "-f", configuration_.string()}, log_, directory_)) {
    error_ = "cannot start " + ngircd;
    return false;
  }
  auto deadline = std::chrono::steady_clock::now() + kStartLimit;
  while (std::chrono::steady_clock::now() < deadline) {
    if (process_.WaitFor(std::chrono::milliseconds(0))) break;  // it ended: see its log
    if (Accepts(port_) && Accepts(tls_port_)) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  error_ = "ngircd did not come up on ports " + std::to_string(port_) + "/" +
           std::to_string(tls_port_) + ":\n" + ReadFile(log_);
  process_.Stop();
  return false;
}

void NgircdServer::Stop() { process_.Stop(); }

void NgircdServer::Kill() {
  process_.Signal(SIGKILL);
  process_.WaitFor(seconds(10));
}

}  // namespace deckhand::irc::testing
