#pragma once

// The test host: runs procedures headless. A test queues what the user does
// (actions run against the innermost open window) and how the user answers
// warnings, choices and message boxes, files and printers chosen; the host
// records what was shown. Jobs run to their end at once.

#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "framework/help.h"
#include "framework/list_part.h"
#include "framework/procedure.h"

namespace velmora::test {

// Every caption a job showed; each job runs to its end at once.
class TestJobs : public JobHost {
 public:
  std::vector<std::string> captions;
  void run(Procedure&, Job& job, JobEvents events) override {
    auto progress = std::move(events.progress);
    events.progress = [this, progress](const Job& j) {
      if (captions.empty() || captions.back() != j.caption()) captions.push_back(j.caption());
      if (progress) progress(j);
    };
    runToEnd(job, events);
  }
};

// Choices answered from queues (cancelled when empty); output recorded.
class TestDocuments : public DocumentHost {
 public:
  std::deque<std::string> files, printers;
  std::vector<std::string> shown;  // "vista|imprime|pdf <title> <pages>"

  void preview(const Document& d) override { record("vista", d); }
  Status print(const Document& d) override { return record("imprime", d), Status::success(); }
  Status savePdf(const Document& d, const std::string& path) override {
    record("pdf " + path, d);
    return Status::success();
  }
  std::optional<std::string> chooseFile(const FileRequest&) override { return take(files); }
  std::optional<std::string> choosePrinter(const std::string&) override { return take(printers); }
  // The pages of the manual opened: "page#anchor".
  std::vector<std::string> helps;
  bool showHelp(const std::string&, const help::Topic& topic) override {
    helps.push_back(topic.page + "#" + topic.anchor);
    return true;
  }

 private:
  void record(const std::string& what, const Document& d) {
    shown.push_back(what + " " + d.title() + " " + std::to_string(d.pages()));
  }
  static std::optional<std::string> take(std::deque<std::string>& q) {
    if (q.empty()) return std::nullopt;
    std::string v = std::move(q.front());
    q.pop_front();
    return v;
  }
};

class TestHost : public Host {
 public:
  using Action = std::function<void(Procedure&)>;

  std::deque<Action> actions;  // consumed by the innermost modal loop
  std::deque<bool> choices;    // answers to choose(); yes when empty
  std::deque<int> buttons;     // answers to message boxes; the default when empty

  std::vector<std::string> log;  // every window opened and closed, every warning and box
  std::vector<WarningLines> warnings;
  std::vector<MessageBox> boxes;
  std::vector<std::unique_ptr<Procedure>> started;
  int stops = 0;

  void warn(const WarningLines& l) override {
    warnings.push_back(l);
    log.push_back("aviso: " + l[0] + " / " + l[1] + " / " + l[2]);
  }
  bool choose(const WarningLines& l) override {
    warnings.push_back(l);
    bool yes = true;
    if (!choices.empty()) yes = choices.front(), choices.pop_front();
    log.push_back("opcion: " + l[0] + " / " + l[1] + " / " + l[2] + (yes ? " -> si" : " -> no"));
    return yes;
  }
  // Answered from the same queue; recorded apart, since its dialog's
  // default is No.
  bool confirm(const WarningLines& l) override {
    confirmations.push_back(l);
    return choose(l);
  }
  std::vector<WarningLines> confirmations;
  int show(const MessageBox& box) override {
    boxes.push_back(box);
    int b = box.defaultButton;
    if (!buttons.empty()) b = buttons.front(), buttons.pop_front();
    log.push_back("mensaje: " + box.title + ": " + box.text);
    return b;
  }
  void stopProgram() override { ++stops; }

  void opened(Procedure& p) override { log.push_back("abre " + p.name()); }
  void closed(Procedure& p) override {
    log.push_back("cierra " + p.name() + " " + std::to_string(p.wm().response));
  }
  void runModal(Procedure& p) override {
    while (!p.isClosing()) {
      if (actions.empty()) {
        log.push_back("sin acciones: " + p.name());
        p.closeBox();
        break;
      }
      Action a = std::move(actions.front());
      actions.pop_front();
      a(p);
    }
  }
  void start(std::unique_ptr<Procedure> p) override {
    log.push_back("inicia " + p->name());
    Procedure& ref = *p;
    started.push_back(std::move(p));
    ref.run(*this);
  }
  void place(Procedure& p, const WindowPlacement& w) override { placements[p.name()] = w; }
  std::optional<WindowPlacement> placement(Procedure& p) override {
    auto it = placements.find(p.name());
    if (it == placements.end()) return std::nullopt;
    return it->second;
  }
  void refresh(Procedure&, const std::string&) override {}
  void focus(Procedure& p, const std::string& control) override {
    focused = control;
    log.push_back("foco " + p.name() + " " + control);
  }

  // Conveniences for queuing user actions.
  void press(std::string control) {
    actions.push_back([c = std::move(control)](Procedure& p) { p.accepted(c); });
  }
  void type(std::string control, std::string text) {
    actions.push_back([c = std::move(control), t = std::move(text)](Procedure& p) {
      (void)p.typed(c, t);
      p.accepted(c);
    });
  }
  void key(Key k) {
    actions.push_back([k](Procedure& p) { p.keyPressed(k); });
  }
  // A list of a window by its control; the window's only list without one.
  static ListPart& list(Procedure& p, const std::string& control = {}) {
    std::vector<ListPart*> all = p.lists();
    ListPart* l = !control.empty() ? p.list(control) : all.size() == 1 ? all.front() : nullptr;
    if (!l) throw std::logic_error("no list " + control + " in " + p.name());
    return *l;
  }
  // Queues something done on a list of the innermost window.
  void onList(std::function<void(ListPart&)> f, std::string control = {}) {
    actions.push_back([f = std::move(f), c = std::move(control)](Procedure& p) { f(list(p, c)); });
  }
  void closeWindow() {
    actions.push_back([](Procedure& p) { p.closeBox(); });
  }

  JobHost& jobs() override { return jobRunner; }
  DocumentHost& documents() override { return documentRunner; }
  TestJobs jobRunner;
  TestDocuments documentRunner;

  std::string focused;
  // The placement each window has on screen, by procedure.
  std::map<std::string, WindowPlacement> placements;
};

}  // namespace velmora::test
