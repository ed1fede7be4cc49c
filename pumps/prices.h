// Totalizers and prices of one nozzle.
#pragma once

#include <string>

bool ObtemEncerrante(const std::string& bico, char* buffer);
bool ObtemPreco(const std::string& bico, char* buffer);
bool AlteraPreco(const std::string& bico, const std::string& preco);
