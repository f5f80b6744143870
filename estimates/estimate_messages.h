#pragma once

// The warnings of the estimate windows and operations: three lines each,
// as the warning dialog shows them.

#include <array>
#include <cstdint>
#include <string>

namespace velmora::estimates::estimate_message {

using Lines = std::array<const char*, 3>;

inline constexpr Lines kNoAccess = {"NO TIENE ACCESO A ESTE PROGRAMA",
                                    "VERIFIQUE SUS ACCESOS AL SISTEMA", "CON Ok CONTINUA..."};
inline constexpr Lines kPostedNoChange = {"LA ESTIMACION YA FUE CONTABILIZADA",
                                          "Y NO PUEDE SER MODIFICADA", "CON Ok CONTINUA...."};
inline constexpr Lines kLevel5 = {"SI HACE ALGUN CAMBIO A LA ESTIMACION",
                                  "NO OLVIDE ACTUALIZAR LA POLIZA DE LA",
                                  "CONTABILIDAD PARA QUE SEA CONGRUENTE"};
inline constexpr Lines kOnlyLastChange = {"SOLO SE PUEDE MODIFICAR LA", "ULTIMA ESTIMACION DEL",
                                          "CONTRATISTA ..."};
inline constexpr Lines kOnlyLastCorrect = {"SOLO SE PUEDE CORREGIR LA ULTIMA",
                                           "POLIZA DEL CONTRATISTA", "VERIFIQUE USTED ..."};
inline constexpr Lines kNoContractorForLine = {"DEBE USTED INDICAR AL", "CONTRATISTA QUE SE LE",
                                               "APLICARA LA ESTIMACION"};
inline constexpr Lines kDuplicateLine = {"EL CONCEPTO YA FUE ESTIMADO",
                                         "SUME EN UN SOLO MOVIMIENTO", "LOS 2 AVANCES ..."};
inline constexpr Lines kOnly100 = {"SOLO SE ADMITE HASTA EL 100%", "DE AVANCE EN OBRA ...",
                                   "VERIFIQUE SUS NUMEROS"};
inline constexpr Lines kOverBudget = {"ESTA ESTIMANDO MAS DE LO QUE", "ESTA PRESUPUESTADO CAPTURE",
                                      "OBRA EXTRAORDINARIA ...."};
// The same refusal at OK of the line form, with its comma.
inline constexpr Lines kOverBudgetAtOk = {
    "ESTA ESTIMANDO MAS DE LO QUE", "ESTA PRESUPUESTADO, CAPTURE", "OBRA EXTRAORDINARIA ...."};
inline constexpr Lines kIncompleteLine = {"LA INFORMACION ESTA INCOMPLETA",
                                          "VERIFIQUE LA PARTIDA DE OBRA QUE", "DESEA INCLUIR"};
inline constexpr Lines kNoContractorForEntry = {
    "DEBE INDICAR EL CONTRATISTA", "AL QUE SE LE DARA EL", "MOVIMIENTO SELECCIONADO ..."};
inline constexpr Lines kAdvanceTooBig = {"CON EL PORCENTAJE DE AMORTI-",
                                         "ZACION ACTUAL NO ALCANZARA", "A CUBRIRSE EL ANTICIPO"};
inline constexpr Lines kFundTooBig = {"EL IMPORTE INDICADO ES", "ES MAYOR AL FONDO", "RETENIDO"};
inline constexpr Lines kNoAmount = {"LA POLIZA A CAPTURAR", "NO TIENE CANTIDAD, ",
                                    "VERIFIQUE USTED"};
inline constexpr Lines kPostedNoDelete = {"EL MOVIMIENTO YA FUE", "CONTABILIZADO Y NO SE",
                                          "PUEDE BORRAR..."};
inline constexpr Lines kOnlyLastDelete = {"SOLO HAY BAJA EN LA ULTIMA", "POLIZA DEL CONTRATISTA",
                                          "VERIFIQUE USTED..."};
// Refusals of the figures themselves, and of figures another station has
// moved since the window showed them (the save checks them again on the
// files as they are when it writes).
inline constexpr Lines kNegative = {"NO SE ACEPTAN CANTIDADES", "NEGATIVAS EN UNA ESTIMACION",
                                    "CON Ok CONTINUA ..."};
inline constexpr Lines kPayrollAbove = {"LO PAGADO EN NOMINA NO PUEDE",
                                        "SER MAYOR AL IMPORTE DE LA", "ESTIMACION ..."};
inline constexpr Lines kNoLines = {"LA ESTIMACION NO TIENE CONCEPTOS",
                                   "CAPTURE SUS AVANCES CON ALTA", "CON Ok CONTINUA ..."};
inline constexpr Lines kOtherStationLoan = {"OTRA ESTACION MODIFICO LOS SALDOS",
                                            "DEL CONTRATISTA; REVISE LA",
                                            "ESTIMACION Y GRABELA DE NUEVO"};
inline constexpr Lines kOtherStationLast = {
    "OTRA ESTACION CAPTURO UNA", "ESTIMACION MAS RECIENTE DEL", "CONTRATISTA; NO SE GRABO NADA"};
inline constexpr Lines kAmortisationAbove = {"LA AMORTIZACION ES MAYOR AL",
                                             "SALDO DEL ANTICIPO DEL", "CONTRATISTA ..."};
inline constexpr Lines kNoContractor = {"EL CONTRATISTA NO EXISTE", "ESCOJALO DE LA LISTA",
                                        "CON Ok CONTINUA ..."};
// Money taken back that was already used further on.
inline constexpr Lines kAdvanceAmortised = {
    "EL ANTICIPO YA FUE AMORTIZADO", "Y NO PUEDE BORRARSE NI REDUCIRSE", "VERIFIQUE USTED..."};
inline constexpr Lines kFundReturned = {"EL FONDO DE GARANTIA YA FUE", "DEVUELTO Y NO PUEDE QUEDAR",
                                        "NEGATIVO; VERIFIQUE USTED"};

// A budget item moved by another station (first line), or estimated by a
// later estimate (second), named on the message's middle line.
std::array<std::string, 3> otherStationItem(double conc, std::int32_t process, std::int32_t front);
std::array<std::string, 3> laterEstimateItem(double conc, std::int32_t process, std::int32_t front,
                                             std::int16_t folio);

// A file error of a save: the error's own text first, then what failed.
inline constexpr std::array<const char*, 2> kReadItem = {"ERROR AL LEER EL",
                                                         "ARCHIVO DE CONCEPTOS"};
inline constexpr std::array<const char*, 2> kWriteItem = {"ERROR AL ACTUALIZAR EL",
                                                          "ARCHIVO DE CONCEPTOS"};
inline constexpr std::array<const char*, 2> kAddLine = {"ERROR AL GRABAR EL ARCHIVO",
                                                        "AUXILIAR DE POLIZAS"};
inline constexpr std::array<const char*, 2> kReadContractor = {"ERROR AL ACCESAR EL",
                                                               "CONTRATISTA"};
inline constexpr std::array<const char*, 2> kWriteContractor = {"ERROR AL ACTUALIAR EL",
                                                                "CONTRATISTA"};

}  // namespace velmora::estimates::estimate_message
