#include "dictionary/server_copy.h"

#include <libpq-fe.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <vector>

#include "dictionary/file_upgrade.h"
#include "dictionary/server_internal.h"
#include "dictionary/server_schema.h"
#include "dictionary/server_table.h"
#include "dictionary/storage.h"

namespace velmora::db::server {

namespace fs = std::filesystem;

namespace {

constexpr const char* kProgramSchema = "programa";

bool isTableFile(const fs::directory_entry& e) {
  std::error_code ec;
  return e.is_regular_file(ec) && upperFileName(e.path().extension().string()) == ".TPS";
}

struct Place {
  fs::path file;
  std::string schema, name;
  const dict::TableInfo* table = nullptr;
};

Status refused(const std::string& text) { return Status::error(err::InvalidDataFile, text); }

// The table files to go up, each recognised by the dictionary; one that is
// not ours stops everything before anything is written.
Status filesToUpload(Storage& files, const fs::path& root, const std::string& only,
                     std::vector<Place>& out) {
  std::vector<std::pair<fs::path, std::string>> folders;
  std::error_code ec;
  if (only.empty()) {
    folders.push_back({root, kProgramSchema});
    for (const auto& e : fs::directory_iterator(root, ec))
      if (e.is_directory()) folders.push_back({e.path(), e.path().filename().string()});
  } else {
    if (!fs::is_directory(root / only, ec))
      return Status::error(err::PathNotFound,
                           errorText(err::PathNotFound) + ": " + (root / only).string());
    folders.push_back({root / only, only});
  }
  if (ec)
    return Status::error(err::PathNotFound, errorText(err::PathNotFound) + ": " + root.string());
  for (const auto& [folder, schema] : folders) {
    for (const auto& e : fs::directory_iterator(folder, ec)) {
      if (!isTableFile(e)) continue;
      Place p{e.path(), schema, upperFileName(e.path().stem().string()), nullptr};
      Status st = Table::identify(files, p.file.string(), p.table);
      if (!st) return refused("No se puede subir " + p.file.string() + ": " + st.text);
      out.push_back(std::move(p));
    }
  }
  std::sort(out.begin(), out.end(), [](const Place& a, const Place& b) { return a.file < b.file; });
  return Status::success();
}

std::string shownPath(const fs::path& file, const fs::path& root) {
  std::string shown = file.lexically_relative(root).generic_string();
  return shown.empty() ? file.string() : shown;
}

}  // namespace

Status upload(const std::string& connection, const std::string& folder, const std::string& only,
              const CopyProgress& progress) {
  std::error_code ec;
  const fs::path root = fs::weakly_canonical(fs::absolute(folder, ec), ec);
  if (ec || !fs::is_directory(root))
    return Status::error(err::PathNotFound, errorText(err::PathNotFound) + ": " + folder);
  Storage files;
  std::vector<Place> places;
  if (Status st = filesToUpload(files, root, only, places); !st) return st;

  Connection c(connection);
  if (!c.status()) return c.status();
  Status st = c.begin();
  for (const Place& p : places) {
    if (!st) break;
    // A file of an older layout goes up as it is; the upgrade converts it
    // on the server as it would the file.
    const dict::TableInfo* layout = p.table;
    if (const int v = layoutVersion(files, *p.table, p.file.string()); v != p.table->version)
      if (const dict::TableInfo* older = dict::layoutOf(*p.table, v)) layout = older;
    const dict::TableInfo& t = *layout;
    st = c.useSchema(p.schema, true);
    Record buffer(t), image(t);
    std::int64_t current = 0;
    ServerTable up(c, p.schema, p.name, t, {buffer, image, current});
    if (st) st = up.open(true);
    std::int64_t there = 0;
    if (st) st = up.records(there);
    if (st && there > 0)
      st = refused("La tabla " + p.schema + "." + p.name + " ya tiene registros en el servidor; " +
                   "no se sube " + shownPath(p.file, root));
    if (!st) break;

    // Up, each record at its position.
    Context ctx(files);
    files.setFileName(t, p.file.string());
    Table& down = ctx.table(t);
    st = down.openReadOnly();
    std::int64_t copied = 0;
    if (st) st = down.setStart(nullptr);
    while (st && (st = down.next())) {
      buffer = down.buffer();
      st = up.addAt(down.position());
      ++copied;
    }
    if (st.code == err::NoRecord) st = Status::success();
    if (st) st = up.continueNumbering();

    // Read back, record for record, in the same order: the server's in
    // pages of position order.
    if (st) st = down.setStart(nullptr);
    std::int64_t checked = 0, after = 0;
    std::vector<Record> page;
    std::vector<std::int64_t> positions;
    std::size_t at = 0;
    while (st) {
      if (at == page.size()) {
        st = up.readAfter(after, 4096, page, positions);
        at = 0;
        if (!st) break;
      }
      Status a = down.next();
      const bool more = at < page.size();
      if (a.code == err::NoRecord && !more) break;
      if (!a) st = a;
      if (st && (!more || !(down.buffer() == page[at]) || down.position() != positions[at]))
        st = refused("El registro " + std::to_string(down.position()) + " de " +
                     shownPath(p.file, root) + " no quedó igual en el servidor");
      if (more) after = positions[at++];
      ++checked;
    }
    if (st && checked != copied)
      st = refused("En el servidor no quedaron los " + std::to_string(copied) + " registros de " +
                   shownPath(p.file, root));
    down.close();
    if (!st) {
      st = Status::error(st.code, st.text + " (" + shownPath(p.file, root) + ")");
      break;
    }
    if (progress) progress({shownPath(p.file, root), &t, copied});
  }
  if (st) return c.commit();
  c.rollback();
  return st;
}

Status download(const std::string& connection, const std::string& folder, const std::string& only,
                const CopyProgress& progress) {
  std::error_code ec;
  const fs::path root = fs::weakly_canonical(fs::absolute(folder, ec), ec);
  if (ec || !fs::is_directory(root))
    return Status::error(err::PathNotFound, errorText(err::PathNotFound) + ": " + folder);
  Connection c(connection);
  if (!c.status()) return c.status();
  // One view of the server for every table, whatever the stations write
  // meanwhile.
  Status st = c.beginReadOnly();
  if (!st) return st;
  Result r = execParams(
      c,
      "SELECT n.nspname, k.relname, obj_description(k.oid, 'pg_class') FROM pg_class k"
      " JOIN pg_namespace n ON n.oid = k.relnamespace WHERE k.relkind = 'r'"
      " AND obj_description(k.oid, 'pg_class') LIKE 'velmora %'"
      " AND EXISTS (SELECT 1 FROM pg_proc f WHERE f.pronamespace = n.oid AND f.proname = "
      "'velmora_fold') ORDER BY 1, 2",
      {});
  if (PQresultStatus(r.get()) != PGRES_TUPLES_OK) {
    st = c.failure(r.get(), "leyendo el catálogo", "");
    c.rollback();
    return st;
  }
  std::vector<Place> places;
  for (int i = 0; i < PQntuples(r.get()); ++i) {
    Place p;
    p.schema = PQgetvalue(r.get(), i, 0);
    p.name = PQgetvalue(r.get(), i, 1);
    const std::string label = std::string(PQgetvalue(r.get(), i, 2)).substr(8);
    if (!only.empty() ? p.schema != only : false) continue;
    p.table = dict::findTable(label);
    if (!p.table) {
      c.rollback();
      return refused("La tabla " + p.schema + "." + p.name + " del servidor guarda " + label +
                     ", que no está en el diccionario");
    }
    const fs::path dir = p.schema == kProgramSchema ? root : root / p.schema;
    p.file = dir / (p.name + ".TPS");
    if (fs::exists(p.file, ec)) {
      c.rollback();
      return refused("Ya existe " + p.file.string() + "; no se baja encima de un archivo");
    }
    places.push_back(std::move(p));
  }
  if (places.empty()) {
    c.rollback();
    return Status::error(err::FileNotFound,
                         errorText(err::FileNotFound) + ": " +
                             (only.empty() ? "la empresa" : "la carpeta " + only) +
                             " no está en el servidor");
  }

  // Each table into a file of its own beside its place, renamed into it
  // when every one is written.
  Storage files;
  std::vector<fs::path> written;
  auto partial = [](const fs::path& f) { return fs::path(f.string() + ".bajando"); };
  for (const Place& p : places) {
    const dict::TableInfo& t = *p.table;
    fs::create_directories(p.file.parent_path(), ec);
    Record buffer(t), image(t);
    std::int64_t current = 0;
    ServerTable from(c, p.schema, p.name, t, {buffer, image, current});
    st = from.open(false);
    Context ctx(files);
    files.setFileName(t, partial(p.file).string());
    fs::remove(partial(p.file), ec);
    Table& into = ctx.table(t);
    if (st) st = into.open();
    if (st) written.push_back(partial(p.file));
    if (st) st = into.stream();
    std::int64_t copied = 0;
    if (st) st = from.setStart(nullptr);
    while (st && (st = from.next())) {
      into.buffer() = buffer;
      st = into.add();
      ++copied;
    }
    if (st.code == err::NoRecord) st = Status::success();
    if (st) st = into.flush();
    std::int64_t count = -1;
    if (st) st = into.records(count);
    if (st && count != copied)
      st = refused("El archivo " + partial(p.file).string() + " no quedó con los " +
                   std::to_string(copied) + " registros del servidor");
    into.close();
    if (!st) break;
    if (progress) progress({shownPath(p.file, root), &t, copied});
  }
  c.rollback();  // read only: nothing to keep
  std::vector<fs::path> placed;
  if (st)
    for (const Place& p : places) {
      fs::rename(partial(p.file), p.file, ec);
      if (ec) {
        st = Status::error(err::AccessDenied, errorText(err::AccessDenied) + ": " +
                                                  p.file.string() + ": " + ec.message());
        break;
      }
      placed.push_back(p.file);
    }
  if (!st) {
    std::error_code ignored;
    for (const fs::path& f : written) fs::remove(f, ignored);
    for (const fs::path& f : placed) fs::remove(f, ignored);
  }
  return st;
}

}  // namespace velmora::db::server
