#include "ui/script/frame_services.h"

namespace velmora {

void ScriptFrameServices::standard(StandardCommand command) {
  static const char* const kNames[] = {
      "Configurar Impresora", "Cortar", "Copiar", "Pegar", "Mosaico", "Cascada", "Arregla Iconos"};
  out_ << "ORDEN " << kNames[int(command)] << "\n";
}

void ScriptFrameServices::pictures(FrameProcedure& frame) {
  out_ << "FONDO " << frame.background() << "\n";
}

void ScriptFrameServices::titles(FrameProcedure& frame) {
  out_ << "TITULO " << frame.title() << "\n";
  std::string bar;
  for (const std::string& text : frame.statusTexts()) bar += (bar.empty() ? "" : " | ") + text;
  if (!bar.empty()) out_ << "BARRA DE ESTADO " << bar << "\n";
}

void ScriptFrameServices::splash(bool open) {
  out_ << "PRESENTACION " << (open ? "abre" : "cierra") << "\n";
}

}  // namespace velmora
