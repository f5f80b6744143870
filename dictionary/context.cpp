// Thread contexts, their transactions across table files, and the relation
// manager.

#include <sqlcipher/sqlite3.h>

#include <algorithm>
#include <set>

#include "dictionary/schema.h"
#include "dictionary/server_table.h"
#include "dictionary/storage.h"

namespace velmora::db {

Context::Context(Storage& storage, int thread) : storage_(storage), thread_(thread) {}

Context::~Context() {
  if (inTransaction()) rollback();
  // Tables close before the context goes: their connections are their own.
  tables_.clear();
}

Table& Context::table(const dict::TableInfo& t) {
  auto& slot = tables_[t.index];
  if (!slot) slot = std::make_unique<Table>(*this, t);
  return *slot;
}

Table& Context::table(std::string_view label) {
  const dict::TableInfo* t = dict::findTable(label);
  if (!t) throw std::invalid_argument("no table " + std::string(label));
  return table(*t);
}

// The wait for a row another station holds follows the storage's busy
// wait, as a file's does when it is opened.
server::Connection* Context::serverSession(Status& st) {
  if (session_) {
    if (session_->lockTimeout() != storage_.busyTimeout() && !session_->inTransaction())
      st = session_->setLockTimeout(storage_.busyTimeout());
    return st ? session_.get() : nullptr;
  }
  auto session = std::make_unique<server::Connection>(storage_.serverConnection());
  st = session->status();
  if (st) st = session->setLockTimeout(storage_.busyTimeout());
  if (!st) return nullptr;
  session_ = std::move(session);
  return session_.get();
}

bool Context::inTransaction(const Table& t) const {
  return std::find(members_.begin(), members_.end(), &t) != members_.end();
}

// Tables on the server share the context's session, whose transaction
// covers them all; files are attached to the first file's connection.
Status Context::begin(const std::vector<Table*>& list) {
  auto refuse = [](std::string detail, std::string_view table) {
    Status st =
        Status::error(err::TransactionRefused, errorText(err::TransactionRefused) + ": " + detail);
    st.table = table;
    return st;
  };
  if (inTransaction()) return refuse("ya hay una transacción abierta", "");
  std::vector<Table*> tables;
  for (Table* t : list)
    if (std::find(tables.begin(), tables.end(), t) == tables.end()) tables.push_back(t);
  if (tables.empty()) return refuse("sin tablas", "");
  for (Table* t : tables) {
    if (!t->isOpen())
      return Status::error(err::FileNotOpen, errorText(err::FileNotOpen)).on(t->info().label);
    if (t->streaming_ || t->depth_ > 0) return refuse("la tabla está en uso", t->info().label);
  }
  std::vector<Table*> files;
  bool onServer = false;
  for (Table* t : tables) {
    if (t->server_)
      onServer = true;
    else
      files.push_back(t);
  }
  Status st;
  if (onServer) {
    st = session_->begin();
    serverTxn_ = bool(st);
  }
  if (st && !files.empty()) st = beginFiles(files);
  if (!st) {
    if (serverTxn_) session_->rollback();
    serverTxn_ = false;
    return st;
  }
  members_ = tables;
  return st;
}

// The files of the transaction are attached to the first file's
// connection, so that one commit covers them all.
Status Context::beginFiles(const std::vector<Table*>& tables) {
  Table* host = tables.front();
  sqlite3* db = host->db_;
  std::map<std::string, std::string> schemas = {{host->path_, "main"}};
  Status st;
  for (Table* t : tables) {
    auto it = schemas.find(t->path_);
    if (it == schemas.end()) {
      std::string name = "t" + std::to_string(schemas.size());
      std::string pragma = "PRAGMA cipher_default_page_size=" + std::to_string(t->pageSize_);
      sqlite3_exec(db, pragma.c_str(), nullptr, nullptr, nullptr);
      sqlite3_stmt* s = nullptr;
      std::string attach = "ATTACH DATABASE ? AS " + schema::quote(name) + " KEY ?";
      int rc = sqlite3_prepare_v2(db, attach.c_str(), -1, &s, nullptr);
      if (rc == SQLITE_OK) {
        sqlite3_bind_text(s, 1, t->path_.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(s, 2, t->rawKey_.c_str(), -1, SQLITE_TRANSIENT);
        rc = sqlite3_step(s);
        sqlite3_finalize(s);
      }
      pragma = "PRAGMA cipher_default_page_size=" + std::to_string(kPageSize);
      sqlite3_exec(db, pragma.c_str(), nullptr, nullptr, nullptr);
      if (rc != SQLITE_DONE) {
        st = host->engineError(sqlite3_extended_errcode(db), "uniendo " + t->path_);
        st.table = t->info().label;
        break;
      }
      it = schemas.emplace(t->path_, name).first;
    }
    t->routeDb_ = db;
    t->routeSchema_ = it->second;
    ++t->txn_;
    t->touched();
  }
  members_ = tables;
  host_ = host;
  if (st) {
    int rc = sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK)
      st = host->engineError(sqlite3_extended_errcode(db), "iniciando la transacción");
  }
  if (!st) {
    host_ = nullptr;  // not begun: only undo the attachments
    Table* h = host;
    for (Table* t : members_) {
      if (t != h) t->finalizeStatements(db);
      t->routeDb_ = nullptr;
      t->routeSchema_ = "main";
    }
    for (auto& [path, name] : schemas)
      if (name != "main")
        sqlite3_exec(db, ("DETACH DATABASE " + schema::quote(name)).c_str(), nullptr, nullptr,
                     nullptr);
    members_.clear();
  }
  return st;
}

Status Context::commit() {
  if (!inTransaction()) return Status::success();
  if (serverTxn_) {
    serverTxn_ = false;
    if (Status st = session_->commit(); !st) {
      rollback();
      return st;
    }
  }
  if (!host_) {
    members_.clear();
    return Status::success();
  }
  sqlite3* db = host_->db_;
  int rc = sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
  Status st;
  if (rc != SQLITE_OK) {
    st = host_->engineError(sqlite3_extended_errcode(db), "confirmando la transacción");
    sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
  }
  rollback();  // nothing left to undo: releases the attachments
  return st;
}

void Context::rollback() {
  if (serverTxn_) session_->rollback();
  serverTxn_ = false;
  if (!host_) {
    members_.clear();
    return;
  }
  sqlite3* db = host_->db_;
  if (!sqlite3_get_autocommit(db)) sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
  std::set<std::string> attached;
  for (Table* t : members_) {
    // Its statements name the attached schema, which goes now.
    if (t != host_) t->finalizeStatements(db);
    if (t->routeSchema_ != "main") attached.insert(t->routeSchema_);
    t->routeDb_ = nullptr;
    t->routeSchema_ = "main";
    t->touched();
  }
  for (const auto& name : attached)
    sqlite3_exec(db, ("DETACH DATABASE " + schema::quote(name)).c_str(), nullptr, nullptr, nullptr);
  members_.clear();
  host_ = nullptr;
}

// --- relations ---------------------------------------------------------------

namespace {

bool acts(dict::Rule r) {
  return r == dict::Rule::Clear || r == dict::Rule::Restrict || r == dict::Rule::Cascade;
}

}  // namespace

// Rows of the child linked to the parent's values, in the child key's order.
Status RelationManager::children(Table& child, const dict::RelationInfo& rel, const Record& parent,
                                 std::vector<std::int64_t>& rows) {
  rows.clear();
  const auto& ct = child.info();
  // The parent's values take the child's field types (COO:CTA is a LONG,
  // INO:CTA a DECIMAL).
  Record probe(ct);
  std::string where;
  for (const auto& link : rel.links) {
    const auto& pf = dict::table(rel.parent).fields[std::size_t(link.parentField)];
    const auto& cf = ct.fields[std::size_t(link.childField)];
    Status st = probe.set(resolve(ct, cf.name), parent.get(resolve(parent.table(), pf.name)));
    if (!st) return st;
    where += (where.empty() ? "" : " AND ") + schema::quote(cf.shortName) + "=?";
  }
  if (child.server_) {
    std::vector<int> fields;
    for (const auto& link : rel.links) fields.push_back(link.childField);
    return child.server_->positionsWhere(fields, probe, ct.keys[std::size_t(rel.childKey)], rows);
  }
  std::string filter = schema::nullFilterSql(ct, rel.childKey);
  if (!filter.empty()) where += " AND " + filter;
  std::string order;
  const auto& key = ct.keys[std::size_t(rel.childKey)];
  for (std::size_t i = 0; i < key.components.size(); ++i)
    order += schema::componentSql(ct, rel.childKey, int(i)) + ",";
  Status st;
  std::string sql =
      "SELECT rowid FROM " + child.qualified() + " WHERE " + where + " ORDER BY " + order + "rowid";
  sqlite3_stmt* s = child.prepare(sql, st);
  if (!s) return st;
  int p = 1;
  for (const auto& link : rel.links) {
    const auto& cols = schema::columns(ct);
    auto c = std::find_if(cols.begin(), cols.end(),
                          [&](const schema::Column& col) { return col.field == link.childField; });
    st = schema::bind(s, p++, probe, *c);
    if (!st) {
      sqlite3_reset(s);
      return st;
    }
  }
  int rc;
  while ((st = child.step(s, rc)) && rc == SQLITE_ROW) rows.push_back(sqlite3_column_int64(s, 0));
  sqlite3_reset(s);
  sqlite3_clear_bindings(s);
  return st;
}

namespace {

Status restricted(int code, const dict::TableInfo& child) {
  Status st = Status::error(code, errorText(code) + ": " + std::string(child.label));
  st.table = child.label;
  return st;
}

}  // namespace

Status RelationManager::collect(const dict::TableInfo& parent, std::vector<Table*>& tables) {
  for (const auto& rel : relations_) {
    if (rel.parent != parent.index || (!acts(rel.onDelete) && !acts(rel.onUpdate))) continue;
    Table& child = ctx_.table(dict::table(rel.child));
    if (std::find(tables.begin(), tables.end(), &child) != tables.end()) continue;
    tables.push_back(&child);
    Status st = collect(child.info(), tables);
    if (!st) return st;
  }
  return Status::success();
}

Status RelationManager::involved(Table& parent, std::vector<Table*>& tables) {
  tables = {&parent};
  return collect(parent.info(), tables);
}

Status RelationManager::removeRow(Table& parent) {
  // The children hang from the values on file, whatever the buffer holds now.
  const Record row = parent.image();
  const std::int64_t position = parent.position();
  for (const auto& rel : relations_) {
    if (rel.parent != parent.info().index || !acts(rel.onDelete)) continue;
    Table& child = ctx_.table(dict::table(rel.child));
    std::vector<std::int64_t> rows;
    Status st = children(child, rel, row, rows);
    if (!st) return st;
    if (rows.empty()) continue;
    if (rel.onDelete == dict::Rule::Restrict)
      return restricted(err::RestrictedDelete, child.info());
    for (std::int64_t id : rows) {
      st = child.getByPosition(id);
      if (!st) return st;
      if (rel.onDelete == dict::Rule::Cascade) {
        st = removeRow(child);
      } else {
        st = relink(child, rel, nullptr);
      }
      if (!st) return st;
    }
  }
  return parent.removeByPosition(position);
}

// Gives the child read last the parent's linked values (or clears them when
// there is no parent record), writes it, and carries the change on to its
// own children.
Status RelationManager::relink(Table& child, const dict::RelationInfo& rel, const Record* parent) {
  const Record before = child.buffer();
  for (const auto& link : rel.links) {
    const auto& cf = child.info().fields[std::size_t(link.childField)];
    FieldRef cref = resolve(child.info(), cf.name);
    Status st;
    if (parent) {
      const auto& pt = parent->table();
      st = child.buffer().set(
          cref, parent->get(resolve(pt, pt.fields[std::size_t(link.parentField)].name)));
    } else {
      bool text = cf.type == dict::Type::String;
      st = child.buffer().set(cref, text ? Value(std::string()) : Value(std::int64_t(0)));
    }
    if (!st) return st;
  }
  Status st = child.put();
  if (st) st = updateChildren(child, before);
  return st;
}

Status RelationManager::updateChildren(Table& parent, const Record& before) {
  const Record after = parent.buffer();
  for (const auto& rel : relations_) {
    if (rel.parent != parent.info().index || !acts(rel.onUpdate)) continue;
    bool changed = false;
    for (const auto& link : rel.links) {
      FieldRef ref =
          resolve(parent.info(), parent.info().fields[std::size_t(link.parentField)].name);
      changed = changed || !(before.get(ref) == after.get(ref));
    }
    if (!changed) continue;
    Table& child = ctx_.table(dict::table(rel.child));
    std::vector<std::int64_t> rows;
    Status st = children(child, rel, before, rows);
    if (!st) return st;
    if (rows.empty()) continue;
    if (rel.onUpdate == dict::Rule::Restrict)
      return restricted(err::RestrictedUpdate, child.info());
    for (std::int64_t id : rows) {
      st = child.getByPosition(id);
      if (st) st = relink(child, rel, rel.onUpdate == dict::Rule::Cascade ? &after : nullptr);
      if (!st) return st;
    }
  }
  return Status::success();
}

namespace {

// Opens the related tables and runs `op` inside one transaction (the
// caller's, when it already holds one over all of them).
template <class Op>
Status withRelations(Context& ctx, Table& parent, std::vector<Table*>& tables, Op op) {
  std::vector<Table*> opened;
  Status st;
  for (Table* t : tables) {
    if (t == &parent) continue;
    st = t->open();
    if (!st) break;
    opened.push_back(t);
  }
  bool own = false;
  if (st) {
    if (ctx.inTransaction()) {
      for (Table* t : tables)
        if (!ctx.inTransaction(*t)) {
          st = Status::error(err::TransactionRefused, errorText(err::TransactionRefused) + ": " +
                                                          std::string(t->info().label) +
                                                          " no está en la transacción");
          st.table = t->info().label;
          break;
        }
    } else {
      st = ctx.begin(tables);
      own = bool(st);
    }
  }
  if (st) st = op();
  if (own) {
    if (st)
      st = ctx.commit();
    else
      ctx.rollback();
  }
  for (Table* t : opened) t->close();
  return st;
}

}  // namespace

Status RelationManager::remove(Table& parent) {
  if (parent.position() == 0)
    return Status::error(err::NoRecord, errorText(err::NoRecord)).on(parent.info().label);
  std::vector<Table*> tables = {&parent};
  Status st = collect(parent.info(), tables);
  if (!st) return st;
  return withRelations(ctx_, parent, tables, [&] { return removeRow(parent); });
}

Status RelationManager::put(Table& parent) {
  if (parent.position() == 0)
    return Status::error(err::NoRecord, errorText(err::NoRecord)).on(parent.info().label);
  std::vector<Table*> tables = {&parent};
  Status st = collect(parent.info(), tables);
  if (!st) return st;
  const Record before = parent.image();
  st = withRelations(ctx_, parent, tables, [&] {
    Status s = parent.put();
    if (s) s = updateChildren(parent, before);
    return s;
  });
  if (!st) parent.image_ = before;  // the write was rolled back
  if (st.code == err::RestrictedUpdate) {
    // The parent keeps its previous linked values.
    for (const auto& rel : relations_) {
      if (rel.parent != parent.info().index) continue;
      for (const auto& link : rel.links) {
        FieldRef ref =
            resolve(parent.info(), parent.info().fields[std::size_t(link.parentField)].name);
        (void)parent.buffer().set(ref, before.get(ref));
      }
    }
  }
  return st;
}

}  // namespace velmora::db
