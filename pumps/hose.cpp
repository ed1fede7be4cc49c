#include "pumps/hose.h"

namespace korvan {

Result ReadHose(const Session& session, int32_t hoseId, HoseProperties& hose) {
  int32_t number, tankId, gradeId;
  double volumeTotal, valueTotal, volume2Total, price2;
  int16_t priceLevel, flags;
  return session.Call(entry::GetHosePropertiesEx2, hoseId, &number, &hose.pumpId, &tankId, &gradeId,
                      &volumeTotal, &valueTotal, &volume2Total, &hose.totalizer, &priceLevel,
                      &hose.price, &price2, &flags);
}

}  // namespace korvan
