#include "dictionary/server_order.h"

#include "dictionary/cp1252.h"

namespace velmora::db::server {

namespace {

void appendUtf8(std::string& out, unsigned char b) {
  out += cp1252::toUtf8(std::string_view(reinterpret_cast<const char*>(&b), 1));
}

}  // namespace

std::string quoted(std::string_view name) {
  std::string q = "\"";
  for (char c : name) q += c == '"' ? std::string("\"\"") : std::string(1, c);
  return q + "\"";
}

std::string foldFunctionSql(std::string_view schema) {
  // translate() maps each small letter to its capital, as the files' fold
  // does byte by byte; convert_to() then gives the Windows-1252 bytes.
  std::string from, to;
  for (int b = 0; b < 256; ++b) {
    const auto byte = static_cast<unsigned char>(b);
    const unsigned char up = cp1252::upper(byte);
    if (up == byte) continue;
    appendUtf8(from, byte);
    appendUtf8(to, up);
  }
  // The letters hold no quote, so they go into the literal as they are.
  return "CREATE OR REPLACE FUNCTION " + quoted(schema) +
         ".velmora_fold(t text) RETURNS bytea LANGUAGE sql IMMUTABLE STRICT PARALLEL SAFE "
         "AS $$ SELECT convert_to(translate(t, '" +
         from + "', '" + to + "'), 'WIN1252') $$";
}

std::string foldedColumn(std::string_view schema, std::string_view column) {
  return quoted(schema) + ".velmora_fold(" + quoted(column) + ")";
}

}  // namespace velmora::db::server
