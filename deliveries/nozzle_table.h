// The nozzles the host registered, matched against each delivery's hose.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

struct TBico {
  std::string NumeroLogico;  // exactly as the host passed it
  int32_t NumeroBomba = 0;
  int32_t CasasLitragem = 0;
  int32_t CasasPreco = 0;
  int32_t CasasTotal = 0;
  int32_t CasasEncerrante = 0;
  std::string Configuracao;
  bool Registrado = false;
};

// Records 1..100 hold nozzles in order of registration; record 0 stays
// unused. A record once filled is never freed, so the table holds at most
// 100 registrations in the life of the driver.
class NozzleTable {
 public:
  static constexpr int kRecords = 101;

  // AUT_RegistraBico with its log lines; null pointers read as empty texts.
  void Register(const char* numeroLogico, const char* numeroBomba, const char* casasLitragem,
                const char* casasPreco, const char* casasTotal, const char* casasEncerrante,
                const char* configuracao);

  // The first record (1..100) whose logical number is byte-for-byte equal to
  // the text, or 0.
  int LocalizaBico(std::string_view numeroLogico) const;

  const TBico& Record(int index) const;  // throws std::out_of_range outside 0..100

 private:
  std::array<TBico, kRecords> records_{};
};

// The process-wide table.
NozzleTable& Nozzles();
