#include "pumps/hose.h"

#include "client/TQXClient.h"
#include "base/log.h"

bool ReadHose(int32_t hoseId, HoseProperties& hose, std::string& error) {
  auto getHoseProperties = QX(GetHosePropertiesEx2, error);
  if (!getHoseProperties) return false;
  int32_t number, tankId, gradeId;
  double volumeTotal, valueTotal, volume2Total, price2;
  int16_t priceLevel, flags;
  return CheckResult(getHoseProperties(
      hoseId, &number, &hose.pumpId, &tankId, &gradeId, &volumeTotal,
      &valueTotal, &volume2Total, &hose.totalizer, &priceLevel, &hose.price,
      &price2, &flags));
}
