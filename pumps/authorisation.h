// Authorising a delivery, and stopping and re-authorising pumps.
#pragma once

#include <string>

bool AutorizaAbastecimento(const std::string& bico);
bool BloqueiaBico(const std::string& bico);
bool DesbloqueiaBico(const std::string& bico);
bool BloqueiaTodosBicos();
bool DesbloqueiaTodosBicos();
