#pragma once

// The standard update form every business form shares (UP_FRE, UP_PART ...):
// setup by request, insert with number reservation, change with the record's
// image and the other station's changes, delete through the relation rules,
// view, cancel, recall (ditto), lookup fields and Enter as Tab. Business forms
// give their window, table, access entry and settings, and fill prime() and
// validate().

#include <cstdint>
#include <map>
#include <span>
#include <string>
#include <vector>

#include "framework/procedure.h"

namespace velmora {

// A field that must hold the key of a record of another table.
struct LookupField {
  std::string entry;      // the entry control, "?PAR:CONT"
  std::string table;      // the related table, "CONT"
  std::string key;        // the key the typed value is sought in, "CTR:CTA_KEY"
  std::string browse;     // called with request 4 to choose, "CAP_CONT"
  bool optional = false;  // zero or blank is accepted as "none"
  // The related field sought and copied back; the key's last component when empty.
  std::string field{};
};

struct FormSettings {
  std::vector<std::string> recall;  // controls whose last saved value Ditto puts back
  std::vector<LookupField> lookups;
  bool enterAsTab = false;
  // The entry whose level 3 a delete needs, when it is not the form's own
  // (the browse of the table may check another); 0: the form's entry.
  int deleteEntry = 0;
  // Tables that writeRelated() writes (an estimate's lines): the save writes
  // them and the record in one transaction.
  std::vector<std::string> related;
};

class FormProcedure : public Procedure {
 public:
  // `table` is the primary table (label); `entry` the access entry checked
  // when the form opens, 0 for none.
  FormProcedure(Program& program, db::Context& ctx, WindowDescription window, std::string table,
                int entry = 0, FormSettings settings = {});
  ~FormProcedure() override;

  db::Table& primary() { return table(label_); }
  const std::string& primaryLabel() const { return label_; }
  // What the form does: request::Insert, Change, Delete or View (any other
  // request runs as a view, since nothing may be saved from it).
  int mode() const { return mode_; }
  // The number reservation an insert holds until it saves or is cancelled;
  // 0 when none.
  std::int64_t reserved() const { return reserved_; }
  const FormSettings& settings() const { return settings_; }
  // True when the user's level refuses the form this request: a browse
  // offers only what its form would do.
  bool refuses(int request) const;

  void accepted(const std::string& control) override;
  void keyPressed(Key key) override;
  void closeBox() override { cancel(); }

 protected:
  bool init() override;
  void kill() override;

  // Initial values of a new record, on a cleared buffer, before its number is
  // reserved. False refuses the insert (the hook says why) and the form does
  // not open.
  virtual bool prime() { return true; }
  // The business rules of OK. False refuses the save; the hook tells the user
  // and selects the control to correct.
  virtual bool validate() { return true; }
  // Writes what belongs with the record in the tables of settings().related,
  // after the record and before the commit. A failure (returned) undoes the
  // record's write too, and the form reports it as a failed save.
  virtual Status writeRelated() { return Status::success(); }
  // Fills the leading components of a lookup's key in the related buffer
  // (already cleared) before the typed value is sought.
  virtual void primeLookup(const LookupField&, db::Table&) {}
  // Before a delete is confirmed. False refuses it; the hook tells the user.
  virtual bool mayDelete() { return true; }
  // The relation rules the form's writes and deletes go through: the
  // dictionary's, unless the record owns more than those say.
  virtual std::span<const dict::RelationInfo> relations() const { return dict::relations(); }

  // OK: checks every field, then saves as the mode says.
  void ok();
  // Cancela, Esc and the close box: response 2 without a question.
  void cancel();
  // Checks a lookup field, calling its browse when the value is not found (or
  // always, for the lookup button). True when the field was accepted: found,
  // optional and blank, or chosen in the browse.
  bool lookup(const LookupField& l, bool always);
  const LookupField* lookupFor(const std::string& entry) const;
  // Puts back the recalled value of a control, if it has one.
  void recall(const std::string& control);

  // The controls Enter and Esc walk through when Enter works as Tab.
  bool isEntryField(const std::string& control) const;

 private:
  bool setUp();
  bool primeRecord();
  void deleteRecord();
  void save();
  Status write();
  Status writeRecord();
  Status reposition();
  void changedElsewhere();
  void keepForRecall();
  void release();
  void moveFocus(int step);
  bool isFieldOfPrimary(const Control& c) const;
  void focusFirstField();

  std::string label_;
  int entry_;
  FormSettings settings_;
  int mode_ = request::View;
  // The form's record as it was read or last written, and where it is; in a
  // view, the buffer as the caller left it.
  Record image_;
  std::int64_t position_ = 0;
  std::int64_t reserved_ = 0;
  // The user's entries when another station's changes replaced them, by control.
  std::map<std::string, Value, NoCaseLess> entered_;
};

}  // namespace velmora
