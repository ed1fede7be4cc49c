// Starting and ending communication with the controller server.
#pragma once

#include <string_view>

#include "client/session.h"

namespace korvan {

// AUT_IniciaComunicacao: a new binding, the settings of _Korvan.ini, the
// logon. What a start replaces and what it keeps is Session's to say.
bool StartCommunication(Session& session, std::string_view address, std::string_view mode,
                        std::string_view configuration);
// AUT_FinalizaComunicacao: logs off.
void EndCommunication(const Session& session);
// The reconnection of delivery retrieval: a start with the saved Porta and
// Configuracao and an empty Modo.
bool Reconnect(Session& session);

}  // namespace korvan
