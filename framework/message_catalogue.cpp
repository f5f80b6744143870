#include "framework/messages.h"

#include <iterator>

// Texts are kept exactly as the users have always seen them, slips included.
namespace velmora {
namespace {

struct Row {
  std::uint16_t id;
  std::uint8_t level;
  const char* title;
  const char* text;
};

constexpr Row kRows[] = {
    {1, 5, "Error de Retribución",
     "Error: (%ErrorText) al intentar acceder al registro de tabla %File .  Regresando a ventana "
     "previa."},
    {2, 5, "Acceso Denegado", "No pudo obtener acceso de escritura en Tabla %File"},
    {3, 1, "Registro Agregado", "Refistro agregado al archivo. ¿ Desea agregar otro ?"},
    {4, 5, "Error en Agregar",
     "Un error fue experimentado durante la creación del registro. Error: %ErrorText."},
    {5, 5, "¿Agregar nuevo registro?", "Registro no encontrado, ¿desea agregar una nuevo?"},
    {6, 5, "Error de Acceso", "El Archivo %File no puede ser cerrado.  Error: %ErrorText."},
    {7, 5, "Registro no fue Actualizado",
     "El registro puede haber sido fue modificado por otra estación."},
    {8, 5, "Registro no Actualizado",
     "Este registro fue modificado por otra estación. Los cambios serán mostrados ahora. Use el "
     "botón Ditto or Ctrl+' para restaurar sus cambios."},
    {9, 5, "Error al traer el Regisro",
     "Este registro fue modificado por otra estación. Los cambios serán mostrados ahora.|"
     "Error: (%ErrorText) "},
    {10, 1, "Cambios no seran Realizados!", "¿Desea Ud.cancelar?"},
    {11, 1, "Confirmar Borrado", "¿ Está seguro que desea eliminar el registro seleccionado?"},
    {12, 3, "Error en creación de Tabla", "Error: (%ErrorText) creando %File."},
    {13, 5, "Registro no fue Borrado",
     "Un error (%ErrorText) fue experimentado al borrar del Archivo %File ."},
    {14, 5, "Pedido Inválido", "Esta Ficha no puede ser usada para Borrar un registro"},
    {15, 5, "Error Clave Duplicada",
     "Agregar este registro crea una clave duplicada para la clave: %Message"},
    {16, 5, "Error en Contenido de campo", "El valor de %Field debe existir en tabla %Message."},
    {17, 5, "Error en Valor", "El valor del campo %Field debe estar en esta lista : %Message."},
    {18, 5, "Error de Rango", "El valor de %Field debe ser entre %Message."},
    {19, 5, "Error en Rango", "El valor de %Field debe ser menor que %Message."},
    {20, 5, "Error de Rango", "El valor de %Field debe ser mayor que %Message."},
    {21, 5, "Error Carga Archivo", "Archivo %File no pudo cargarse.  Error: %ErrorText."},
    {22, 3, "WMF Error", "La lectura del siguiente registro de %File ha fallado."},
    {23, 5, "Pedido Inválido", "Esta Ficha no puede ser usada para insertar un registro"},
    {24, 5, "Transacción Cancelada",
     "Error: (%ErrorText) al intentar enmarcar una transacción sobre tabla %File."},
    {25, 5, "No hay Registros", "No se encontraron registros disponibles para procesar."},
    {26, 3, "Error de Acceso", "Archivo (%File) no pudo ser abierto.  Error: %ErrorText."},
    {27, 5, "Procedimiento no definido", "El Procedimiento %Message no fue definido."},
    {28, 5, "Registro no fue Actualizado",
     "Un error (%ErrorText) fue experimentado al realizar cambioses to the %File file."},
    {29, 3, "Clave no fue reconstruida", "Error: (%ErrorText) reparando clave para tabla: %File."},
    {30, 5, "Clave Inválida", "%File : Clave inválida. Clave debe ser reconstruida."},
    {31, 5, "Registro NO leido",
     "Un registro bloqueado por otra terminal fue encontrado al leer de tabla %File ."},
    {33, 5, "Error de Integridad Referencial (Borrado)",
     "Este registro esta siendo referenciado desde la tabla %File. Este registro no puede ser "
     "eliminado mientras exista esta referencia."},
    {34, 5, "Error de Integridad Referencial (Actualización)",
     "Este registro esta siendo referenciado desde la tabla %File. Los campo(s) linkeado(s) "
     "fueron configurados para que no permitan el cambio (RESTRICT en DCT) y serán vueltos a su "
     "valor original."},
    {35, 1, "Error AutoNumeración",
     "Los intentos para numerar automaticamente han fallado. Error: %ErrorText. ¿ Intentar "
     "nuevamente?"},
    {36, 1, "Error en Borrar Registro",
     "Un error fue experimentado al borrar el registro. ¿Desea intentar borrar nuevamente?"},
    {37, 1, "Error al Actualizar",
     "Un error se ha producido al grabar el registro. ¿Desea intentar grabarlo nuevamente?"},
    {38, 1, "Guardar Registro", "¿ Desea guardar los cambios?"},
    {39, 1, "Comienzo de Archivo",
     "El comienzo del archivo fue encontrado. ¿ Desea comenzar nuevamente desde el final del "
     "archivo?"},
    {40, 1, "Error Fin de Archivo",
     "El fin de Archivo fue encontrado . ¿ Desea comenzar nuevamente desde el comienzo ?"},
    {41, 5, "Pedido Inválido", "Esta Ficha no puede ser usada para Actualizar un registro"},
    {42, 2, "Error de Uso", "Se ha intentado utilizar la tabla (%File) antes de estar ABIERTA"},
    {43, 5, "Error al Abrir Vista",
     "Error: (%ErrorText) al intentar abrir la vista (VIEW) actual. Filtros y Rangos serán "
     "ignorados."},
    {44, 5, "Columna no soportada en QBE",
     "La columna salbada en el QBE , %Field no es soportado."},
    {45, 5, "Error SMTP", "Ha ocurrido el siguiente Error SMTP: %Message "},
    {46, 5, "NNTP Error", "%Message "},
    {47, 5, "Error Winsock ", "%Message "},
    {48, 3, "WMF Parser Error", "Adding record to queue failed. Parsing %File."},
    {49, 3, "WMF Error", "El Archivo %File no es un WMF Valido."},
    {50, 3, "WMF Error", "Invalid %Field control found. Parsing %File."},
    {51, 3, "WMF Error", "No se ha encontrado el campo %Field en el Archivo %File."},
    {52, 5, "Report Writer Error", "Poorly Formed Comment String \"%Message\" at Position %Field."},
    {53, 5, "Report Writer Error", "Propiedad desconocida %Message."},
};

}  // namespace

std::vector<MessageEntry> standardCatalogue() {
  std::vector<MessageEntry> entries;
  entries.reserve(std::size(kRows));
  for (const Row& row : kRows) {
    entries.push_back({row.id, static_cast<MessageLevel>(row.level), row.title, row.text, {}});
  }
  return entries;
}

}  // namespace velmora
