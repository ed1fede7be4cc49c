// The controller client library's entry points, as both sides of the binding
// see them: the driver resolves them into ClientBinding, the simulator defines and
// exports them. Widths and argument orders live here once, so a mismatch
// between the two fails to compile instead of failing on the forecourt.
#pragma once

#include <cstdint>
#include <wtypes.h>  // BSTR

// winspool.h (through wtypes.h) renames DeletePort to DeletePortA; here it is
// the client library's own entry point.
#undef DeletePort

#define QX_CALL __stdcall
#ifdef QX_BUILDING_CLIENT
#define QX_API __declspec(dllexport)
#else
#define QX_API
#endif

// Every entry point returns 0 for success, anything else for failure.
using QXResult = int32_t;

// All 183 entry points, in the order the binding resolves them (which is
// also the order of ClientBinding's fields). C marks the 22 that the driver
// calls, U the ones it only resolves.
#define QX_ENTRY_POINTS(C, U) \
  U(DllVersion) U(ServerVersion) U(ClientLogon) C(ClientLogonEx)              \
  C(ClientLogoff) U(ClientStatus) U(GetLicenseType) U(FireClientEvent)        \
  C(TestConnection) C(ProcessEvents) C(GetEventsCount) C(GetNextEventType)    \
  C(DiscardNextEvent) U(GetNextPumpEvent) U(GetNextDeliveryEvent)             \
  U(GetNextServerEvent) U(GetNextClientEvent) U(GetNextDBLogEvent)            \
  U(GetNextDBClearDeliveryEvent) U(GetNextDBStackDeliveryEvent)               \
  U(GetNextDBHoseETotalsEvent) U(GetNextDBTriggerEvent)                       \
  U(GetNextDBAttendantLogonEvent) U(GetNextDBAttendantLogoffEvent)            \
  U(GetNextDBTankStatusEvent) C(GetPumpsCount) U(GetPumpByNumber)             \
  U(GetPumpByName) U(GetPumpByOrdinal) U(GetPumpProperties)                   \
  U(SetPumpProperties) U(DeletePump) U(GetPumpHosesCount)                     \
  U(GetPumpHoseByNumber) U(GetPumpStatus) U(GetPumpDeliveryProperties)        \
  U(GetPumpDeliveryPropertiesEx) U(GetPumpDeliveryPropertiesEx2)              \
  U(PrepayReserve) U(PrepayCancel) U(PrepayAuthorise) U(PreauthReserve)       \
  U(PreauthCancel) U(PreauthAuthorise) U(LoadPreset) U(LoadPresetWithPrice)   \
  U(TagAuthorise) U(AttendantAuthorise) C(Authorise) U(CancelAuthorise)       \
  C(TempStop) C(ReAuthorise) U(TerminateDelivery) U(StackCurrentDelivery)     \
  U(GetDensity) U(GetHosesCount) C(GetHoseByOrdinal) U(GetHoseProperties)     \
  U(SetHoseProperties) U(GetHoseSummary) U(DeleteHose) C(GetDeliveriesCount)  \
  C(GetDeliveryByOrdinal) U(GetAllDeliveriesCount) U(GetAllDeliveryByOrdinal) \
  U(AckDeliveryDBLog) U(GetDeliveryIDByOrdinalNotLogged)                      \
  U(GetDeliveriesCountNotLogged) U(AckDeliveryVolLog)                         \
  U(GetDeliveryIDByOrdinalNotVolLogged) U(GetDeliveriesCountNotVolLogged)     \
  U(GetDeliveryProperties) U(GetDeliveryPropertiesEx)                         \
  C(GetDeliveryPropertiesEx2) U(SetDeliveryProperties)                        \
  U(SetDeliveryPropertiesEx) U(SetDeliveryPropertiesEx2)                      \
  U(GetDeliverySummary) U(GetDeliverySummaryEx) C(LockDelivery)               \
  U(UnlockDelivery) C(ClearDelivery) U(LockAndClearDelivery) U(GetDuration)   \
  U(GetGradesCount) U(GetGradeByNumber) U(GetGradeByName)                     \
  U(GetGradeByOrdinal) U(GetGradeProperties) U(SetGradeProperties)            \
  U(DeleteGrade) U(SetGradePrice) U(GetGradePrice) U(GetTanksCount)           \
  U(GetTankByNumber) U(GetTankByName) U(GetTankByOrdinal)                     \
  U(GetTankProperties) U(SetTankProperties) U(GetTankSummary) U(TankDrop)     \
  U(DeleteTank) U(GetPortsCount) U(GetPortByNumber) U(GetPortByName)          \
  U(GetPortByOrdinal) U(GetPortProperties) U(SetPortProperties) U(DeletePort) \
  U(GetAttendantsCount) U(GetAttendantByNumber) U(GetAttendantByName)         \
  U(GetAttendantByOrdinal) U(GetAttendantProperties)                          \
  U(SetAttendantProperties) U(DeleteAttendant) U(AttendantLogon)              \
  U(AttendantLogoff) C(AllStop) U(AllAuthorise) C(AllReAuthorise)             \
  U(AllStopIfIdle) U(ReadAllTanks) U(GetAllPumpStatuses) U(GetIniValue)       \
  U(SetIniValue) U(SetNextDeliveryID) U(RemovePort) U(LicenseStatus)          \
  U(CheckSocketClosed) U(ResultString) U(PumpStateString)                     \
  U(DeliveryStateString) U(DeliveryTypeString) U(ReserveTypeString)           \
  U(GetNextPumpEventEx) U(GetNextDeliveryEventEx) U(GetNextDeliveryEventEx2)  \
  U(GetNextDBHoseETotalsEventEx) U(GetNextDBTankStatusEventEx)                \
  U(GetZigBeeCount) U(GetZigBeeByNumber) U(GetZigBeeByName)                   \
  U(GetZigBeeByOrdinal) U(GetZigBeeProperties) U(SetZigBeeProperties)         \
  U(DeleteZigBee) U(GetHosePropertiesEx) U(SetHosePropertiesEx)               \
  U(SetPumpPropertiesEx) U(GetPumpPropertiesEx) U(GetDeviceDetails)           \
  U(SetHoseETotals) U(GetNextZeroDeliveryEvent) C(SetHosePrices)              \
  U(GetHosePrices) U(SetDateTime) U(GetNextDeliveryEventEx3)                  \
  U(GetNextCardReadEvent) U(GetCardReadsCount) U(GetCardReadByNumber)         \
  U(GetCardReadByName) U(GetCardReadByOrdinal) U(GetCardReadProperties)       \
  U(SetCardReadProperties) U(DeleteCardRead) U(GetCardClientsCount)           \
  U(GetCardClientByNumber) U(GetCardClientByName) U(GetCardClientByOrdinal)   \
  U(GetCardClientProperties) U(SetCardClientProperties) U(DeleteCardClient)   \
  U(GetDeliverySummaryEx2) U(SetDeliveryPropertiesEx3)                        \
  U(GetDeliveryPropertiesEx3) U(GetAttendantPropertiesEx)                     \
  U(SetAttendantPropertiesEx) C(GetHosePropertiesEx2) U(SetHosePropertiesEx2) \
  U(GetHoseSummaryEx) C(GetNextPumpEventEx2) U(GetPumpStatusEx)              

namespace qx {
extern "C" {

QX_API QXResult QX_CALL ClientLogonEx(int32_t clientId, int16_t clientType,
                                      BSTR serverAddress, uint16_t callPort,
                                      uint16_t eventPort, int32_t timeout,
                                      int32_t handle, int32_t hWnd,
                                      int32_t hMsg);
QX_API QXResult QX_CALL ClientLogoff();
QX_API QXResult QX_CALL TestConnection();
QX_API QXResult QX_CALL GetPumpsCount(int32_t* count);

QX_API QXResult QX_CALL ProcessEvents();
QX_API QXResult QX_CALL GetEventsCount(int32_t* count);
QX_API QXResult QX_CALL GetNextEventType(int32_t* eventType);
QX_API QXResult QX_CALL DiscardNextEvent();
// A pump event: 41 outputs. The driver reads pumpNumber and pumpState.
QX_API QXResult QX_CALL GetNextPumpEventEx2(
    int32_t* pumpId, int16_t* pumpNumber, int16_t* pumpState,
    int16_t* reservedFor, int32_t* reservedBy, int32_t* hoseId,
    int16_t* hoseNumber, int16_t* gradeNumber, int32_t* gradeId,
    int32_t* deliveryId, BSTR* gradeName, BSTR* shortGradeName,
    int16_t* priceLevel, double* price, double* volume, double* value,
    int16_t* stackSize, BSTR* pumpName, int32_t* physicalNumber,
    int16_t* side, int16_t* address, int16_t* priceLevel1,
    int16_t* priceLevel2, int16_t* pumpType, int32_t* portId,
    int16_t* authMode, int16_t* stackMode, int16_t* prepayAllowed,
    int16_t* preauthAllowed, int16_t* priceFormat, int16_t* valueFormat,
    int16_t* volumeFormat, double* tag, int32_t* attendantId,
    int32_t* attendantNumber, BSTR* attendantName, double* attendantTag,
    int32_t* cardClientId, int32_t* cardClientNumber, BSTR* cardClientName,
    double* cardClientTag);

QX_API QXResult QX_CALL GetDeliveriesCount(int32_t* count);
QX_API QXResult QX_CALL GetDeliveryByOrdinal(int32_t ordinal,
                                             int32_t* deliveryId);
// A finished delivery: 22 outputs, numbered from 1 after the identifier.
QX_API QXResult QX_CALL GetDeliveryPropertiesEx2(
    int32_t deliveryId, int32_t* hoseId, int16_t* state, int16_t* type,
    double* volume, int16_t* priceLevel, double* unitPrice, double* value,
    double* volume2, double* completedDate, int32_t* lockedBy,
    int32_t* reservedBy, int32_t* attendantId, int32_t* age,
    double* clearedDate, double* oldVolumeETotal, double* oldVolume2ETotal,
    double* oldValueETotal, double* newVolumeETotal,
    double* newVolume2ETotal, double* newValueETotal, int64_t* tag,
    int32_t* duration);
QX_API QXResult QX_CALL LockDelivery(int32_t deliveryId);
QX_API QXResult QX_CALL ClearDelivery(int32_t deliveryId, int16_t type);

QX_API QXResult QX_CALL GetHoseByOrdinal(int32_t ordinal, int32_t* hoseId);
// A hose: 12 outputs. The driver reads pumpId, totalizer and price.
QX_API QXResult QX_CALL GetHosePropertiesEx2(
    int32_t hoseId, int32_t* number, int32_t* pumpId, int32_t* tankId,
    int32_t* gradeId, double* volumeTotal, double* valueTotal,
    double* volume2Total, double* totalizer, int16_t* priceLevel,
    double* price, double* price2, int16_t* flags);
QX_API QXResult QX_CALL SetHosePrices(int32_t hoseId, int32_t durationType,
                                      int16_t priceType, double price1,
                                      double price2);

QX_API QXResult QX_CALL Authorise(int32_t pumpId);
QX_API QXResult QX_CALL TempStop(int32_t pumpId);
QX_API QXResult QX_CALL ReAuthorise(int32_t pumpId);
QX_API QXResult QX_CALL AllStop();
QX_API QXResult QX_CALL AllReAuthorise();

// The entry points the driver only resolves. Their arguments are the
// library's business; they are declared here without any.
#define QX_IGNORE(name)
#define QX_DECLARE_UNCALLED(name) QX_API QXResult QX_CALL name();
QX_ENTRY_POINTS(QX_IGNORE, QX_DECLARE_UNCALLED)
#undef QX_DECLARE_UNCALLED
#undef QX_IGNORE

}  // extern "C"
}  // namespace qx
