// Confirming the delivery last handed over, so the controller clears it.
#pragma once

#include <cstdint>

// The last delivery handed over or discarded.
struct TUltimoAbastecimento {
  int32_t Abastecimento = 0;  // delivery identifier
  int32_t Tipo = 0;           // delivery type, passed back when clearing
  int32_t Estado = 0;         // delivery state; 3 is reserved, not cleared
};

const TUltimoAbastecimento& UltimoAbastecimento();
void AtribuiUltimoAbastecimentoBico(int32_t abastecimento, int32_t tipo,
                                    int32_t estado);
bool ConfirmaAbastecimento();
