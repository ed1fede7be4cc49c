// Authorising a delivery, and stopping and re-authorising pumps.
#pragma once

#include <string>
#include <string_view>

// False after the operation's own failure lines, or with `error` set (a
// nozzle that does not convert, a missing entry point) for the caller to log.
bool AutorizaAbastecimento(std::string_view bico, std::string& error);
bool BloqueiaBico(std::string_view bico, std::string& error);
bool DesbloqueiaBico(std::string_view bico, std::string& error);
bool BloqueiaTodosBicos(std::string& error);
bool DesbloqueiaTodosBicos(std::string& error);
