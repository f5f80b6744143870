#include "ui/script/script_host.h"

#include <unistd.h>

#include <cctype>
#include <charconv>
#include <istream>
#include <map>
#include <ostream>

#include "dictionary/cp1252.h"
#include "framework/list_part.h"

namespace velmora {

namespace {

std::string upper(const std::string& s) { return cp1252::upperUtf8(s); }

bool toInt(const std::string& s, int& v) {
  auto r = std::from_chars(s.data(), s.data() + s.size(), v);
  return r.ec == std::errc() && r.ptr == s.data() + s.size();
}

const std::map<std::string, Key>& keyNames() {
  static const std::map<std::string, Key> keys = {
      {"ENTER", Key::Enter},
      {"CTRLENTER", Key::CtrlEnter},
      {"SHIFTENTER", Key::ShiftEnter},
      {"ESC", Key::Esc},
      {"TAB", Key::Tab},
      {"SHIFTTAB", Key::ShiftTab},
      {"INSERT", Key::Insert},
      {"DELETE", Key::Delete},
      {"BACKSPACE", Key::Backspace},
      {"UP", Key::Up},
      {"DOWN", Key::Down},
      {"LEFT", Key::Left},
      {"RIGHT", Key::Right},
      {"PAGEUP", Key::PageUp},
      {"PAGEDOWN", Key::PageDown},
      {"HOME", Key::Home},
      {"END", Key::End},
      {"CTRLHOME", Key::CtrlHome},
      {"CTRLEND", Key::CtrlEnd},
      {"CTRLPAGEUP", Key::CtrlPageUp},
      {"CTRLPAGEDOWN", Key::CtrlPageDown},
      {"CONTEXTMENU", Key::ContextMenu},
      {"DITTO", Key::Ditto},
      {"F1", Key::Help},
  };
  return keys;
}

std::string requestName(int r) {
  switch (r) {
    case request::Insert: return "alta";
    case request::Change: return "cambio";
    case request::Delete: return "borrado";
    case request::Select: return "selecciona";
    case request::Process: return "proceso";
    case request::View: return "ver";
    default: return "";
  }
}

int requestOf(const std::string& word) {
  static const std::map<std::string, int> names = {
      {"ALTA", request::Insert},       {"CAMBIO", request::Change},   {"BORRADO", request::Delete},
      {"SELECCIONA", request::Select}, {"PROCESO", request::Process}, {"VER", request::View}};
  auto it = names.find(upper(word));
  if (it != names.end()) return it->second;
  int n = 0;
  return toInt(word, n) ? n : -1;
}

std::string buttonNames(int buttons) {
  std::string s;
  auto add = [&](int b, const char* n) {
    if (buttons & b) s += (s.empty() ? "" : "/") + std::string(n);
  };
  add(button::Yes, "si");
  add(button::No, "no");
  add(button::Cancel, "cancela");
  add(button::Ok, "ok");
  return s;
}

int buttonOf(const std::string& word) {
  std::string w = upper(word);
  if (w == "SI" || w == "SÍ" || w == "YES") return button::Yes;
  if (w == "NO") return button::No;
  if (w == "CANCELA" || w == "CANCEL") return button::Cancel;
  if (w == "OK") return button::Ok;
  return 0;
}

}  // namespace

std::vector<std::string> scriptWords(const std::string& line) {
  std::vector<std::string> words;
  std::size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && std::isspace(static_cast<unsigned char>(line[i]))) ++i;
    if (i >= line.size() || line[i] == '#') break;
    std::string w;
    if (line[i] == '"') {
      ++i;
      while (i < line.size() && line[i] != '"') {
        if (line[i] == '\\' && i + 1 < line.size()) ++i;
        w += line[i++];
      }
      ++i;
    } else {
      while (i < line.size() && !std::isspace(static_cast<unsigned char>(line[i]))) w += line[i++];
    }
    words.push_back(w);
  }
  return words;
}

namespace {
// The same question asked this many times more without a line read in
// between is a loop, not a user answering.
constexpr int kRepeatedQuestions = 3;
}  // namespace

ScriptHost::ScriptHost(Program& program, std::istream& script, std::ostream& transcript)
    : program_(program), in_(script), out_(transcript) {}

ScriptHost::~ScriptHost() = default;

bool ScriptHost::nextLine(std::vector<std::string>& words) {
  std::string line;
  while (!failed_ && !stopped_ && std::getline(in_, line)) {
    ++line_;
    words = scriptWords(line);
    if (!words.empty()) return true;
  }
  return false;
}

bool ScriptHost::fail(const std::string& why) {
  out_ << "ERROR en la línea " << line_ << ": " << why << "\n";
  failed_ = true;
  return false;
}

int ScriptHost::run() {
  std::vector<std::string> words;
  while (nextLine(words))
    if (!execute(nullptr, words)) break;
  return status();
}

std::string ScriptHost::nextAnswer(const std::string& fallback) {
  if (answers_.empty()) return fallback;
  std::string a = answers_.front();
  answers_.pop_front();
  return a;
}

void ScriptHost::warn(const WarningLines& l) {
  out_ << "AVISO: " << l[0] << " / " << l[1] << " / " << l[2] << "\n";
}

bool ScriptHost::askedInALoop(const std::string& question) {
  if (question == lastQuestion_ && line_ == lastQuestionLine_) {
    ++repeats_;
  } else {
    lastQuestion_ = question;
    lastQuestionLine_ = line_;
    repeats_ = 0;
  }
  return repeats_ >= kRepeatedQuestions;
}

void ScriptHost::saveFailed(Procedure& p, const Status& st) {
  fail("no se guardó el registro de " + p.name() + (st.text.empty() ? "" : ": " + st.text));
}

bool ScriptHost::choose(const WarningLines& l) {
  if (askedInALoop(l[0] + l[1] + l[2])) {
    out_ << "OPCION: " << l[0] << " / " << l[1] << " / " << l[2] << " -> no\n";
    fail("la misma pregunta se repite sin fin; se contesta no");
    return false;
  }
  std::string a = nextAnswer("si");
  bool yes = buttonOf(a) == button::Yes;
  out_ << "OPCION: " << l[0] << " / " << l[1] << " / " << l[2] << " -> " << (yes ? "si" : "no")
       << "\n";
  return yes;
}

int ScriptHost::show(const MessageBox& box) {
  if (askedInALoop(box.title + box.text) && (box.buttons & (button::No | button::Cancel))) {
    const int no = (box.buttons & button::No) ? button::No : button::Cancel;
    out_ << "MENSAJE: " << box.title << ": " << box.text << " [" << buttonNames(box.buttons)
         << "] -> " << buttonNames(no) << "\n";
    fail("la misma pregunta se repite sin fin; se contesta " + buttonNames(no));
    return no;
  }
  int answer = box.defaultButton;
  if (!answers_.empty()) {
    int b = buttonOf(answers_.front());
    answers_.pop_front();
    if (b & box.buttons) answer = b;
  }
  out_ << "MENSAJE: " << box.title << ": " << box.text << " [" << buttonNames(box.buttons)
       << "] -> " << buttonNames(answer) << "\n";
  return answer;
}

void ScriptHost::stopProgram() {
  out_ << "FIN DEL PROGRAMA\n";
  stopped_ = true;
}

void ScriptHost::opened(Procedure& p) {
  std::string r = requestName(p.wm().request);
  out_ << "ABRE " << p.name() << " \"" << p.window().title << "\""
       << (r.empty() ? "" : " (" + r + ")") << "\n";
}

void ScriptHost::closed(Procedure& p) {
  out_ << "CIERRA " << p.name() << " respuesta " << p.wm().response << "\n";
}

void ScriptHost::runModal(Procedure& p) {
  std::vector<std::string> words;
  while (!p.isClosing()) {
    if (!nextLine(words)) {
      // The script ended (or failed) with the window open: close it as the user would.
      p.closeBox();
      break;
    }
    if (!execute(&p, words)) {
      p.closeBox();
      break;
    }
  }
}

void ScriptHost::start(std::unique_ptr<Procedure> p) {
  Procedure& ref = *p;
  started_.push_back(std::move(p));
  ref.run(*this);
}

void ScriptHost::printPage(const ListPart& list) {
  const int rows = list.rowCount(), columns = int(list.columns().size());
  for (int r = 0; r < rows; ++r) {
    out_ << (r == list.selected() ? "> " : "  ") << r + 1 << ":";
    for (int c = 0; c < columns; ++c) out_ << " | " << list.cell(r, c);
    out_ << "\n";
  }
  if (rows == 0) out_ << "  (sin registros)\n";
  // The totals under their columns, in the same columns.
  if (list.hasFooter()) {
    out_ << "  SUMAS:";
    for (int c = 0; c < columns; ++c) out_ << " | " << list.footer(c);
    out_ << "\n";
  }
}

// The headers in one line; a group's caption stands before its columns,
// which follow it in brackets.
void ScriptHost::printHeaders(const ListPart& list) {
  const auto& columns = list.columns();
  const auto& groups = list.columnGroups();
  out_ << "COLUMNAS:";
  std::size_t g = 0;
  for (int c = 0; c < int(columns.size()); ++c) {
    const bool opens = g < groups.size() && groups[g].first == c;
    out_ << (c == 0 ? " " : " | ");
    if (opens) out_ << groups[g].caption << " [";
    out_ << columns[std::size_t(c)].header;
    if (g < groups.size() && c == groups[g].first + groups[g].count - 1) {
      out_ << "]";
      ++g;
    }
  }
  out_ << "\n";
}

void ScriptHost::printRecord(db::Table& t) {
  out_ << "REGISTRO " << t.info().label << ":";
  for (const auto& f : t.info().fields) {
    if (f.type == dict::Type::Group) continue;
    FieldRef ref = resolve(t.info(), f.name);
    for (int e = 1; e <= ref.elements(); ++e) {
      ref.element = e;
      out_ << " " << f.name << (ref.elements() > 1 ? "[" + std::to_string(e) + "]" : "") << "="
           << toText(t.buffer().get(ref));
    }
  }
  out_ << "\n";
}

bool ScriptHost::execute(Procedure* p, const std::vector<std::string>& w) {
  const std::string cmd = upper(w[0]);
  auto need = [&](std::size_t n) {
    if (w.size() < n + 1) return fail(w[0] + " necesita " + std::to_string(n) + " dato(s)");
    return true;
  };
  // The list a list command acts on: the one named after the command's
  // data, or the window's only list.
  ListPart* list = nullptr;
  auto needList = [&](std::size_t data) {
    std::vector<ListPart*> all = p ? p->lists() : std::vector<ListPart*>{};
    if (all.empty()) return fail(w[0] + " solo se usa en una lista");
    if (w.size() > data + 1) {
      list = p->list(w[data + 1]);
      if (!list) return fail("no existe la lista " + w[data + 1] + " en " + p->name());
    } else if (all.size() > 1) {
      return fail(w[0] + " necesita el control de la lista: hay varias en " + p->name());
    } else {
      list = all.front();
    }
    return true;
  };

  // --- the session ---
  if (cmd == "CARPETA") {
    if (!need(1)) return false;
    if (::chdir(w[1].c_str()) != 0) return fail("no existe la carpeta " + w[1]);
    return true;
  }
  if (cmd == "USUARIO") {
    int n = 0;
    if (!need(1) || !toInt(w[1], n)) return fail("usuario necesita un número");
    program_.rights.user = n;
    return true;
  }
  if (cmd == "ACCESO") {  // acceso ENTRADA NIVEL
    int e = 0, l = 0;
    if (!need(2) || !toInt(w[1], e) || !toInt(w[2], l) || e < 1 || e > 20 || l < 0 || l > 255)
      return fail("acceso ENTRADA(1-20) NIVEL");
    program_.rights.levels[std::size_t(e - 1)] = std::uint8_t(l);
    return true;
  }
  if (cmd == "ARCHIVO") {
    if (!need(2)) return false;
    const dict::TableInfo* t = dict::findTable(w[1]);
    if (!t) return fail("no existe la tabla " + w[1]);
    program_.storage().setFileName(*t, w[2]);
    return true;
  }
  if (cmd == "RESPONDE") {
    if (!need(1)) return false;
    if (!buttonOf(w[1])) return fail("responde si, no, cancela u ok");
    answers_.push_back(w[1]);
    return true;
  }
  if (cmd == "ELIGE") {  // the file or printer the next choice gets
    if (!need(1)) return false;
    documents_.queue(w[1]);
    return true;
  }
  if (cmd == "INICIA") {
    if (!need(1)) return false;
    int req = w.size() > 2 ? requestOf(w[2]) : request::None;
    if (req < 0) return fail("petición desconocida " + w[2]);
    if (p) {
      program_.request = req;
      p->call(w[1], req);
      return true;
    }
    if (!program_.knows(w[1])) return fail("no existe el procedimiento " + w[1]);
    if (!topContext_)
      topContext_ = std::make_unique<db::Context>(program_.storage(), program_.newThread());
    auto proc = program_.make(w[1], *topContext_);
    program_.request = req;
    proc->run(*this);
    return true;
  }
  if (cmd == "REGISTRO") {
    if (!need(1)) return false;
    const dict::TableInfo* t = dict::findTable(w[1]);
    if (!t) return fail("no existe la tabla " + w[1]);
    db::Context& c = p ? p->context()
                       : (topContext_ ? *topContext_
                                      : *(topContext_ = std::make_unique<db::Context>(
                                              program_.storage(), program_.newThread())));
    printRecord(c.table(*t));
    return true;
  }
  if (!p) return fail(w[0] + " necesita una ventana abierta");

  // --- the innermost window ---
  if (cmd == "CAMPO") {
    if (!need(2)) return false;
    if (!p->window().find(w[1])) return fail("no existe el control " + w[1] + " en " + p->name());
    p->selected(w[1]);
    Status st = p->typed(w[1], w[2]);
    if (!st) {
      out_ << "RECHAZADO " << w[1] << ": " << st.text << "\n";
      return true;
    }
    p->accepted(w[1]);
    return true;
  }
  if (cmd == "PULSA") {
    if (!need(1)) return false;
    const Control* c = p->window().find(w[1]);
    if (!c)
      for (const Control& x : p->window().controls)
        if (x.type == ControlType::Button && plainCaption(x.text) == w[1]) c = &x;
    if (!c) return fail("no existe el botón " + w[1] + " en " + p->name());
    ControlState s = p->state(c->id);
    if (!s.enabled || s.hidden) {
      out_ << "DESHABILITADO " << c->id << "\n";
      return true;
    }
    p->selected(c->id);
    p->accepted(c->id);
    return true;
  }
  if (cmd == "TECLA") {
    if (!need(1)) return false;
    auto it = keyNames().find(upper(w[1]));
    if (it == keyNames().end()) return fail("tecla desconocida " + w[1]);
    p->keyPressed(it->second);
    return true;
  }
  if (cmd == "CIERRA") {
    p->closeBox();
    return true;
  }
  if (cmd == "MUESTRA") {
    if (!need(1)) return false;
    if (!p->window().find(w[1])) {
      // A total under a list's column, named by its variable.
      const std::string variable = w[1].substr(w[1].rfind('?') == 0 ? 1 : 0);
      for (const Control& c : p->window().controls)
        if (const ListPart* l = c.type == ControlType::List ? p->list(c.id) : nullptr)
          for (const ListColumn& col : l->columns())
            if (dict::sameName(col.total, variable)) {
              out_ << "CAMPO " << w[1] << " = \"" << l->footerOf(col.total) << "\"\n";
              return true;
            }
      return fail("no existe el control " + w[1] + " en " + p->name());
    }
    out_ << "CAMPO " << w[1] << " = \"" << p->display(w[1]) << "\"\n";
    return true;
  }
  if (cmd == "PESTAÑA" || cmd == "PESTANA") {
    int n = 0;
    if (!need(1) || !toInt(w[1], n)) return fail("pestaña necesita un número");
    p->selectTab(n);
    return true;
  }
  if (cmd == "PAGINA") {
    if (!needList(0)) return false;
    printPage(*list);
    return true;
  }
  if (cmd == "COLUMNAS") {
    if (!needList(0)) return false;
    printHeaders(*list);
    return true;
  }
  if (cmd == "FILA" || cmd == "DOBLE" || cmd == "DERECHO") {
    int n = 0;
    if (!needList(1)) return false;
    if (w.size() < 2 || !toInt(w[1], n)) return fail(w[0] + " necesita un número de fila");
    if (n < 1 || n > list->rowCount()) return fail("no hay fila " + w[1]);
    p->selected(list->control());
    if (cmd == "FILA") list->rowClicked(n - 1);
    if (cmd == "DOBLE") list->rowDoubleClicked(n - 1);
    if (cmd == "DERECHO") list->rightButtonReleased(n - 1);
    return true;
  }
  if (cmd == "MENU") {
    if (!needList(1) || !need(1)) return false;
    list->popupChosen(w[1]);
    return true;
  }
  if (cmd == "LOCALIZA") {
    if (!needList(1) || !need(1)) return false;
    p->selected(list->control());
    // Each character as it would be typed.
    for (std::size_t i = 0; i < w[1].size();) {
      std::size_t len = 1;
      unsigned char c = static_cast<unsigned char>(w[1][i]);
      if (c >= 0xF0)
        len = 4;
      else if (c >= 0xE0)
        len = 3;
      else if (c >= 0xC0)
        len = 2;
      list->typedCharacter(w[1].substr(i, len));
      i += len;
    }
    return true;
  }
  if (cmd == "ENCABEZADO") {
    int n = 0;
    if (!needList(1)) return false;
    if (w.size() < 2 || !toInt(w[1], n) || n < 1 || n > int(list->columns().size()))
      return fail("encabezado necesita un número de columna");
    list->headerClicked(n - 1);
    return true;
  }
  if (cmd == "BARRA") {
    int n = 0;
    if (!needList(1)) return false;
    if (w.size() < 2 || !toInt(w[1], n)) return fail("barra necesita un porcentaje");
    if (!list->paged()) return fail("la lista " + list->control() + " no tiene barra");
    list->scrollThumb(n);
    return true;
  }
  return fail("orden desconocida " + w[0]);
}

std::optional<Key> keyNamed(std::string_view name) {
  auto it = keyNames().find(upper(std::string(name)));
  if (it == keyNames().end()) return std::nullopt;
  return it->second;
}

}  // namespace velmora
