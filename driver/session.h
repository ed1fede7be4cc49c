// Starting and ending communication with the controller server.
#pragma once

#include <string>

// Logs on with the host's arguments and the settings of _Korvan.ini. Also
// the reconnection that delivery retrieval makes, with an empty Modo.
bool IniciaComunicacao(std::string porta, std::string modo,
                       std::string configuracao);
void FinalizaComunicacao();
// The reconnection of delivery retrieval: a start with the saved Porta and
// Configuracao and an empty Modo.
bool Reconecta();
