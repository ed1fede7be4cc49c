// The nozzles the host registered, matched against each delivery's hose.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace korvan {

// One registration, its texts as the host passed them and its numbers
// converted (a number that does not convert gets its default).
struct NozzleRecord {
  std::string logicalNumber;
  int32_t pumpNumber{};
  int32_t volumeDecimals{};
  int32_t priceDecimals{};
  int32_t amountDecimals{};
  int32_t totalizerDecimals{};
  std::string configuration;
  bool registered = false;
};

// Records 1..100 hold nozzles in order of registration; record 0 stays
// unused. A record once filled is never freed; registering a logical number
// again updates its record. The table holds at most 100 nozzles in the life
// of the driver.
class NozzleTable {
 public:
  static constexpr int kRecords = 101;

  // AUT_RegistraBico with its log lines; null pointers read as empty texts.
  void Register(const char* logicalNumber, const char* pumpNumber, const char* volumeDecimals,
                const char* priceDecimals, const char* amountDecimals,
                const char* totalizerDecimals, const char* configuration);

  // The record (1..100) whose logical number is byte-for-byte equal to the
  // text, or 0.
  int Find(std::string_view logicalNumber) const;

  // `index` in 0..100, as Find gives it.
  const NozzleRecord& Record(int index) const { return records_[static_cast<size_t>(index)]; }

 private:
  std::array<NozzleRecord, kRecords> records_{};
};

}  // namespace korvan
