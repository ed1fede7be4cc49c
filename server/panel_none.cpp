// Builds without an HTTP library (the Windows ones) have no panel.
#include "server/panel.h"

namespace qxserver {

struct Panel::Impl {};

Panel::Panel(asio::io_context&, Server&, const Options&) {}
Panel::~Panel() = default;

bool Panel::Start(std::string& error) {
  error = "this build has no panel; run with --no-panel";
  return false;
}

void Panel::Stop() {}

}  // namespace qxserver
