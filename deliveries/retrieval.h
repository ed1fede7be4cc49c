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

// Hands over the first finished delivery (true), or discards or leaves it.
bool ObtemAbastecimento(const DeliveryBuffers& out);
