// Totalizers and prices of one nozzle.
#pragma once

#include <string>

// The host's texts as it passed them (null reads as empty). False after the
// operation's own failure lines, or with `error` set (a nozzle or price that
// does not convert, a missing entry point) for the caller to log.
bool ObtemEncerrante(const char* bico, char* buffer, std::string& error);
bool ObtemPreco(const char* bico, char* buffer, std::string& error);
bool AlteraPreco(const char* bico, const char* preco, std::string& error);
