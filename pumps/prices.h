// Totalizers and prices of one nozzle.
#pragma once

#include <string>

// False after the operation's own failure lines, or with `error` set (a
// nozzle or price that does not convert, a missing entry point) for the
// caller to log.
bool ObtemEncerrante(const std::string& bico, char* buffer, std::string& error);
bool ObtemPreco(const std::string& bico, char* buffer, std::string& error);
bool AlteraPreco(const std::string& bico, const std::string& preco, std::string& error);
