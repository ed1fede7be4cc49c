// Authorising a delivery, and stopping and re-authorising pumps.
#pragma once

#include <string>

// The host's nozzle text as it passed it (null reads as empty). False after
// the operation's own failure lines, or with `error` set (a nozzle that does
// not convert, a missing entry point) for the caller to log.
bool AutorizaAbastecimento(const char* bico, std::string& error);
bool BloqueiaBico(const char* bico, std::string& error);
bool DesbloqueiaBico(const char* bico, std::string& error);
bool BloqueiaTodosBicos(std::string& error);
bool DesbloqueiaTodosBicos(std::string& error);
