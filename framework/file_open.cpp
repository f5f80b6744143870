#include "framework/file_open.h"

#include <cctype>

#include "framework/procedure.h"
#include "framework/progress.h"

namespace velmora {

namespace {

std::string lower(std::string s) {
  for (char& c : s) c = char(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

void showBox(Host& host, const std::string& title, const std::string& text) {
  MessageBox box;
  box.title = title;
  box.text = text;
  box.icon = MessageIcon::Exclamation;
  host.show(box);
}

}  // namespace

UpgradeJob::UpgradeJob(db::FileUpgrade& upgrade) : upgrade_(upgrade) { show(); }

std::string UpgradeJob::title(const db::FileUpgrade& upgrade) {
  return "File: " + lower(upgrade.name());
}

void UpgradeJob::show() {
  if (upgrade_.phase() == db::FileUpgrade::Phase::Keys) {
    setCaption("Building key(s). Please Wait...");
    setPercent(100);
    return;
  }
  setCaption("Upgrading File From Version: " + std::to_string(upgrade_.result().from) +
             " To Version: " + std::to_string(upgrade_.result().to));
  const std::int64_t total = upgrade_.total();
  setPercent(total > 0 ? int(upgrade_.copied() * 100 / total) : 0);
}

bool UpgradeJob::step() {
  const bool more = upgrade_.step();
  if (more) show();
  return more;
}

bool Procedure::openTable(db::Table& t) {
  Status st = t.open();
  if (st.code == err::KeysNeedRebuilding) {
    // The framework's message for damaged keys, asked as a question.
    errors_.fileName = std::string(t.info().label);
    if (program_.messages().ask(errors_, 30, button::Yes | button::No, button::Yes, st) !=
        button::Yes)
      return false;
    st = t.openForRebuild();
    if (!st) {
      fileError(st, FileAction::BuildKeys);
      return false;
    }
  }
  if (db::layoutMismatch(st)) {
    const dict::TableInfo& table = dict::table(t.info().storage);
    const std::string path = t.path();
    if (!program_.hasAttached<FileUpgrades>() || !program_.attached<FileUpgrades>().enabled) {
      // The advice first: the open error may end the program.
      if (db::layoutVersion(program_.storage(), table, path) > 0)
        warn("EL ARCHIVO " + std::string(table.label) + " ES DE UNA VERSION",
             "ANTERIOR; ABRA LA OBRA UNA VEZ CON", "VOROVID PARA ACTUALIZARLO...");
      fileError(st, FileAction::Open);
      return false;
    }
    db::FileUpgrade upgrade(program_.storage(), table, path,
                            program_.attached<FileUpgrades>().versionFile);
    if (upgrade.start()) {
      UpgradeJob job(upgrade);
      call(std::make_unique<ProgressWindow>(program_, ctx_, UpgradeJob::title(upgrade), job),
           request::Process);
    }
    const db::UpgradeResult& r = upgrade.result();
    if (!r.message.empty()) showBox(*host_, r.title, r.message);
    if (r.outcome == db::UpgradeResult::Outcome::Refused ||
        upgrade.phase() != db::FileUpgrade::Phase::Done)
      return false;  // refused or cancelled: the old file is as it was
    st = t.open();
  }
  if (!st) {
    fileError(st, FileAction::Open);
    return false;
  }
  return true;
}

}  // namespace velmora
