// Handing the controller's finished deliveries to the host, one per poll.
#pragma once

// The host's eleven output buffers, in the order of the export's arguments.
struct DeliveryBuffers {
  char* numeroLogico;
  char* volume;
  char* valorTotal;
  char* precoUnitario;
  char* encerranteInicial;
  char* encerranteFinal;
  char* hora;
  char* text8;   // "0"
  char* text9;   // the delivery's 64-bit code in hexadecimal
  char* text10;  // empty
  double* data;  // the delivery's date at midnight
};

// Logs on again with the last start's arguments; true when logged on.
using Reconnect = bool (*)();

// Hands over the first finished delivery (true), or discards or leaves it.
// A lost connection is restored through `reconnect` first.
bool ObtemAbastecimento(const DeliveryBuffers& out, Reconnect reconnect);

// Volume re-engineering, switched at every logon by "REL=S".
void SetReengenhariaLitragem(bool on);
