#pragma once

// The warnings of the estimate windows and operations: three lines each,
// as the warning dialog shows them.

#include <array>
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
