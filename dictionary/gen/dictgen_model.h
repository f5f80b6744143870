// The dictionary generator's model of the declarations: what the reading
// side builds from tables.dct and the writing side turns into C++.
#pragma once

#include <iosfwd>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace dictgen {

struct Field {
  std::string name;
  std::string type;  // BYTE SHORT LONG REAL DECIMAL STRING MEMO GROUP
  int size = 0;      // bytes of one element (string width, memo length)
  int digits = 0, decimals = 0;
  int dim = 1;
  int group = -1;
  int offset = 0;
  std::vector<std::string> prompts, pictures;
};

struct Key {
  std::string name;
  std::vector<std::string> components;
  bool unique = false, noCase = false, excludeNulls = false, primary = false, autoNumber = false;
};

struct Table {
  std::string label, prefix, holds, file, place = "procedure", password, kind = "Table";
  int length = -1;
  int base = -1;
  int version = 1;     // a layout's own version; a table's current one
  std::string shares;  // another table over the same stored rows
  std::vector<Field> fields;
  std::vector<Key> keys;
  int line = 0;
};

struct Relation {
  std::string parent, child, key;
  std::vector<std::pair<std::string, std::string>> links;
  int update = 0, del = 0;
  int line = 0;
};

// Where the reading stands, for the messages of fail().
extern std::string source;
extern int lineNo;
[[noreturn]] void fail(const std::string& what);

extern std::vector<Table> tables;
extern std::vector<Relation> relations;
extern std::map<std::string, int> byLabel;

int fieldIndex(const Table& t, const std::string& name);
int storageOf(int ti);
bool isAliasType(const Table& t);
const Table& structOf(const Table& t);

// Reading: parse the declarations, lay out the records, check shared files.
void parse(std::istream& in);
void layout();
void checkShares();

// The generated spellings of a type, place and relation rule; they also
// check the declared words.
std::string typeEnum(const std::string& t);
std::string placeEnum(const std::string& p);
std::string ruleEnum(int r);

// Writing: records.h and dictionary_data.cpp.
void writeHeader(std::ostream& o);
void writeSource(std::ostream& o);
void writeIfChanged(const std::string& path, const std::string& text);

}  // namespace dictgen
