#pragma once

// The fixed catalogues of the demo company: salary zones, users, inputs and
// unit-price analyses of two kinds of work, the chart of accounts, banks and
// suppliers. Plain data; demo_data.cpp turns it into records.

#include <cstdint>
#include <span>
#include <vector>

namespace velmora::demo {

struct Zone {
  const char* name;    // CTL:ZONA
  double minimumWage;  // CTL:SUEL, daily
  double payrollTax;   // CTL:IISN, state payroll tax in per cent
};

enum class Category : std::uint8_t { Material = 1, Labour = 2, Equipment = 3 };

// An input of the unit-price analyses (IOBR): a material, a trade (priced by
// the daily base wage) or a piece of equipment (priced by the hour).
struct Input {
  std::int32_t code;
  Category category;
  const char* text;
  const char* unit;
  double price;
};

struct Use {
  std::int32_t input;
  double perUnit;  // quantity of the input per unit of the concept
};

struct ConceptTemplate {
  const char* text;
  const char* unit;
  double minQuantity, maxQuantity;
  std::vector<Use> uses;
};

struct ProcessTemplate {
  const char* name;    // the heading row, PRB:TEXT
  const char* family;  // COO:GENE of its concepts
  bool subcontracted;  // its items are sub-contracts (PAR:SCON)
  std::vector<ConceptTemplate> concepts;
};

struct WorkTemplate {
  const char* code;
  const char* name;
  const char* address;
  const char* accounting;  // OBR:DICO
  std::uint8_t zone;       // OBR:LIST: the CONTROL record of its salary zone
  std::vector<const char*> fronts;
  const char* moreFronts;  // name of the fronts beyond the list, before their number
  std::vector<ProcessTemplate> processes;
  std::uint64_t seed;
};

struct User {
  std::int32_t number;
  const char* name;
  const char* login;
};

struct Account {
  std::int16_t level[5];
  const char* text;
  std::uint8_t type;  // 1 debit nature, 2 credit nature
};

// An account slot of the work's automatic entries and the account it holds.
struct Slot {
  int slot;  // 1..15
  std::int16_t level[5];
};

struct Bank {
  std::int32_t number;
  const char* name;
  const char* account;
  std::int16_t level[5];
  double balance;
  std::uint8_t row[5], column[5];  // date, payee, amount in words, amount, message
};

struct Supplier {
  const char* name;
  const char* contact;
  const char* rfc;
  const char* street;
  const char* city;
  const char* district;
  const char* phone;
  const char* phone2;
  std::uint8_t type;  // 2: equipment supplier
};

std::span<const Zone> zones();
std::span<const User> users();
std::span<const Input> inputs();
const Input* findInput(std::int32_t code);
std::span<const WorkTemplate> works();
std::span<const Account> chartOfAccounts();
std::span<const Slot> accountSlots();
std::span<const Bank> banks();
std::span<const Supplier> suppliers();
std::span<const char* const> policyTypes();

// Names of people for the contractors: first names and surnames.
std::span<const char* const> firstNames();
std::span<const char* const> surnames();

}  // namespace velmora::demo
