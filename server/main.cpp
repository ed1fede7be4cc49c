// qxsim-server: one simulated forecourt, loaded from a scenario file, served
// to QXClient.dll's network mode over the wire protocol (sim/protocol.h),
// with a live panel in the browser.
//
//   qxsim-server [--bind ADDRESS [--allow-remote]] [--call-port N]
//                [--event-port N] [--panel-port N | --no-panel]
//                [--scenario FILE] [--trace FILE] [--stop-after SECONDS] [--quiet]
//
// --trace answers every call from a trace recorded at a station by the
// tracing QXClient.dll, in order, instead of from the forecourt
// (server/replay_hook.h).
// Ports 0 take any free port. Once listening it prints one line on stdout:
//   listening call=5123 events=5124 panel=8080
// with ` token=...` at its end under --allow-remote. Ctrl-C or SIGTERM
// stops it cleanly; so does --stop-after.
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include <asio.hpp>

#include "server/access.h"
#include "server/calls.h"
#include "server/connections.h"
#include "server/panel.h"
#include "server/replay_hook.h"
#include "sim/model/platform.h"
#include "sim/model/scenario.h"
#include "sim/model/station.h"

namespace {

int Usage(const char* problem) {
  std::fprintf(stderr,
               "qxsim-server: %s\n"
               "usage: qxsim-server [--bind ADDRESS [--allow-remote]] "
               "[--call-port N] [--event-port N]\n"
               "                    [--panel-port N | --no-panel] "
               "[--scenario FILE] [--trace FILE] [--stop-after SECONDS] [--quiet]\n",
               problem);
  return 2;
}

bool Port(const char* text, uint16_t& port) {
  char* end = nullptr;
  const long v = std::strtol(text, &end, 10);
  if (!*text || *end || v < 0 || v > 65535) return false;
  port = static_cast<uint16_t>(v);
  return true;
}

bool ParseOptions(int argc, char** argv, qxserver::Options& o, std::string& problem) {
  for (int i = 1; i < argc; ++i) {
    const std::string option = argv[i];
    if (option == "--no-panel") {
      o.panel = false;
      continue;
    }
    if (option == "--quiet") {
      o.quiet = true;
      continue;
    }
    if (option == "--allow-remote") {
      o.allowRemote = true;
      continue;
    }
    if (i + 1 >= argc) {
      problem = option + " without a value";
      return false;
    }
    const char* value = argv[++i];
    bool ok = true;
    if (option == "--bind")
      o.bind = value;
    else if (option == "--call-port")
      ok = Port(value, o.callPort);
    else if (option == "--event-port")
      ok = Port(value, o.eventPort);
    else if (option == "--panel-port")
      ok = Port(value, o.panelPort);
    else if (option == "--scenario")
      o.scenario = value;
    else if (option == "--trace")
      o.trace = value;
    else if (option == "--stop-after")
      o.stopAfter = std::atof(value);
    else
      ok = false;
    if (!ok) {
      problem = "bad option " + option + " " + value;
      return false;
    }
  }
  return true;
}

// Loads the scenario into the station and its `fail` lines into `faults`.
bool LoadScenario(const std::string& path, qxsim::Station& station, qxsim::Scenario& scenario) {
  std::string text;
  if (!qxsim::ReadWholeFile(path, text)) {
    std::fprintf(stderr, "qxsim-server: %s: cannot be read\n", path.c_str());
    return false;
  }
  qxsim::ScenarioError error;
  const auto isOperation = [](std::string_view name) {
    return qxserver::IsOperation(std::string(name));
  };
  if (!qxsim::ParseScenario(text, isOperation, scenario, error)) {
    std::fprintf(stderr, "qxsim-server: %s:%d: %s\n", path.c_str(), error.line,
                 error.message.c_str());
    return false;
  }
  station.Load(scenario);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  qxserver::Options options;
  std::string problem;
  if (!ParseOptions(argc, argv, options, problem)) return Usage(problem.c_str());
  bool remote = false;
  if (!qxserver::CheckBind(options.bind, options.allowRemote, remote, problem)) {
    return Usage(problem.c_str());
  }
  // Open beyond loopback, hosts and pages prove themselves with a token.
  if (options.allowRemote && !qxserver::RandomKey(options.accessToken)) {
    std::fprintf(stderr, "qxsim-server: no random access token\n");
    return 1;
  }

  qxsim::Station station(qxsim::MonotonicMilliseconds, qxsim::LocalNowOleDate);
  qxsim::Scenario scenario;
  if (!options.scenario.empty() && !LoadScenario(options.scenario, station, scenario)) {
    return 1;
  }

  asio::io_context io;
  qxserver::Server server(io, station, options);
  for (const qxsim::FaultLine& f : scenario.faults) {
    server.AddFault(f.name, f.nth, f.code);
  }
  std::string error;
  qxserver::ReplayHook replay([&server](const std::string& line) { server.Log(line); });
  if (!options.trace.empty()) {
    if (!replay.Start(options.trace, error)) {
      std::fprintf(stderr, "qxsim-server: %s\n", error.c_str());
      return 1;
    }
    server.Replay(&replay);
  }
  if (!server.Listen(error)) {
    std::fprintf(stderr, "qxsim-server: %s\n", error.c_str());
    return 1;
  }
  qxserver::Panel panel(io, server, options);
  if (options.panel && !panel.Start(error)) {
    server.Log("no panel: " + error);
    options.panel = false;
  }
  const std::string token = options.accessToken.empty() ? "" : " token=" + options.accessToken;
  std::printf("listening call=%u events=%u panel=%u%s\n", server.callPort(), server.eventPort(),
              options.panel ? panel.port() : 0u, token.c_str());
  std::fflush(stdout);
  if (remote) {
    std::fprintf(stderr,
                 "qxsim-server: warning: serving on %s, beyond this machine: "
                 "whoever reaches it with the access token drives the "
                 "forecourt\n",
                 options.bind.c_str());
  }
  if (!options.accessToken.empty()) {
    // Printed, not logged: the log is shown on every panel.
    std::fprintf(stderr,
                 "qxsim-server: access token %s; hosts set QXSIM_TOKEN to it; "
                 "panel at http://%s:%u/?token=%s\n",
                 options.accessToken.c_str(), remote ? "<this machine>" : options.bind.c_str(),
                 options.panel ? panel.port() : 0u, options.accessToken.c_str());
  }
  server.Log("serving " +
             (options.scenario.empty() ? std::string("an empty forecourt") : options.scenario) +
             " on " + options.bind);
  if (!options.trace.empty()) {
    server.Log("answering every call from the trace " + options.trace);
  }

  auto stop = [&](const char* why) {
    server.Log(why);
    panel.Stop();
    server.Stop();
  };
  asio::signal_set signals(io, SIGINT, SIGTERM);
  signals.async_wait([&](const asio::error_code& ec, int) {
    if (!ec) stop("stopping on a signal");
  });
  asio::steady_timer limit(io);
  if (options.stopAfter > 0) {
    limit.expires_after(
        std::chrono::milliseconds(static_cast<long long>(options.stopAfter * 1000)));
    limit.async_wait([&](const asio::error_code& ec) {
      if (!ec) stop("stopping: its time is up");
    });
  }
  server.OnStop([&] {
    signals.cancel();
    limit.cancel();
  });
  // Every handler guards itself; should one still throw, the loop goes on
  // after a log line rather than ending the server.
  for (;;) {
    try {
      io.run();
      break;
    } catch (const std::exception& e) {
      server.Log(std::string("internal error: ") + e.what() + "; carrying on");
    } catch (...) {
      server.Log("internal error; carrying on");
    }
  }
  return 0;
}
