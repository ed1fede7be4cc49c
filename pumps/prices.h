// Totalizers and prices of one nozzle.
#pragma once

#include <string>
#include <string_view>

// False after the operation's own failure lines, or with `error` set (a
// nozzle or price that does not convert, a missing entry point) for the
// caller to log.
bool ObtemEncerrante(std::string_view bico, char* buffer, std::string& error);
bool ObtemPreco(std::string_view bico, char* buffer, std::string& error);
bool AlteraPreco(std::string_view bico, std::string_view preco, std::string& error);
