#include "dictionary/record.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>
#include <stdexcept>

#include "dictionary/cp1252.h"

namespace velmora {

using dict::FieldInfo;
using dict::TableInfo;
using dict::Type;

namespace {

std::string formatReal(double d) {
  if (std::isnan(d)) return "nan";
  if (std::isinf(d)) return d < 0 ? "-inf" : "inf";
  char buf[400];
  // Plain digits for every amount a field can hold (no "1e+07"); exponents
  // only for magnitudes no amount reaches.
  const double a = std::fabs(d);
  const bool plain = a == 0 || (a >= 1e-4 && a < 1e15);
  auto r = plain ? std::to_chars(buf, buf + sizeof buf, d, std::chars_format::fixed)
                 : std::to_chars(buf, buf + sizeof buf, d);
  return std::string(buf, r.ptr);
}

std::string fieldLabel(const FieldRef& ref) {
  std::string s(ref.field->name);
  if (ref.elements() > 1) s += "[" + std::to_string(ref.element) + "]";
  return s;
}

Status refused(const FieldRef& ref, const std::string& why) {
  return Status::error(err::ValueRefused, "El campo " + fieldLabel(ref) + " no acepta " + why);
}

// Plain decimal text as typed by a person or a script: optional blanks and
// sign, digits, optional point and decimals, optional exponent.
bool parseNumber(std::string_view text, double& out) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  if (text.empty()) {
    out = 0;
    return true;
  }
  std::string s(text);
  if (s.front() == '+') s.erase(0, 1);
  double d = 0;
  auto r = std::from_chars(s.data(), s.data() + s.size(), d);
  if (r.ec != std::errc() || r.ptr != s.data() + s.size() || !std::isfinite(d)) return false;
  out = d;
  return true;
}

template <class T>
void putLE(unsigned char* p, T v) {
  using U = std::make_unsigned_t<T>;
  U u;
  std::memcpy(&u, &v, sizeof u);
  for (std::size_t i = 0; i < sizeof u; ++i) p[i] = static_cast<unsigned char>(u >> (8 * i));
}

template <class T>
T getLE(const unsigned char* p) {
  using U = std::make_unsigned_t<T>;
  U u = 0;
  for (std::size_t i = 0; i < sizeof u; ++i) u = U(u | (U(p[i]) << (8 * i)));
  T v;
  std::memcpy(&v, &u, sizeof v);
  return v;
}

void putReal(unsigned char* p, double d) {
  std::uint64_t u;
  std::memcpy(&u, &d, sizeof u);
  putLE<std::uint64_t>(p, u);
}

double getReal(const unsigned char* p) {
  std::uint64_t u = getLE<std::uint64_t>(p);
  double d;
  std::memcpy(&d, &u, sizeof d);
  return d;
}

// Offset of a field's element in the fixed record.
std::size_t elementOffset(const TableInfo& t, const FieldInfo& f, int element0) {
  if (f.group >= 0) return f.offset + std::size_t(element0) * t.fields[std::size_t(f.group)].size;
  return f.offset + std::size_t(element0) * f.size;
}

int elementCount(const TableInfo& t, const FieldInfo& f) {
  return f.group >= 0 ? t.fields[std::size_t(f.group)].dim : f.dim;
}

// Decoded texts drop the blank (or zero) padding of the stored field. Plain
// ASCII, by far the common case, is copied into the string's own storage.
void decodeText(const unsigned char* p, std::size_t n, std::string& to) {
  while (n > 0 && (p[n - 1] == ' ' || p[n - 1] == 0)) --n;
  std::string_view bytes(reinterpret_cast<const char*>(p), n);
  for (unsigned char c : bytes)
    if (c >= 0x80) {
      to = cp1252::toUtf8(bytes);
      return;
    }
  to.assign(bytes);
}

}  // namespace

std::string toText(const Value& v) {
  struct {
    std::string operator()(std::int64_t i) const { return std::to_string(i); }
    std::string operator()(double d) const { return formatReal(d); }
    std::string operator()(const Decimal& d) const { return d.toString(); }
    std::string operator()(const std::string& s) const { return s; }
  } visitor;
  return std::visit(visitor, v);
}

double number(const Value& v) {
  if (auto i = std::get_if<std::int64_t>(&v)) return double(*i);
  if (auto d = std::get_if<double>(&v)) return *d;
  if (auto m = std::get_if<Decimal>(&v)) return m->toDouble();
  return 0;
}

int FieldRef::elements() const { return field ? elementCount(*table, *field) : 0; }

FieldRef resolve(const TableInfo& table, std::string_view name, int element) {
  std::string_view base = name;
  auto br = name.find('[');
  if (br != std::string_view::npos) {
    if (name.back() != ']' || element != 0) return {};
    std::string_view digits = name.substr(br + 1, name.size() - br - 2);
    int e = 0;
    auto r = std::from_chars(digits.data(), digits.data() + digits.size(), e);
    if (r.ec != std::errc() || r.ptr != digits.data() + digits.size() || e < 1) return {};
    element = e;
    base = name.substr(0, br);
  }
  const FieldInfo* f = table.field(base);
  if (!f || f->type == Type::Group) return {};
  FieldRef ref{&table, f, element == 0 ? 1 : element};
  if (ref.element < 1 || ref.element > ref.elements()) return {};
  return ref;
}

Record::Record(const TableInfo& table) : table_(&table) {
  data_ = ::operator new(table.ops->size, std::align_val_t(table.ops->align));
  table.ops->construct(data_);
}

Record::Record(const Record& other) : Record(*other.table_) {
  table_->ops->copy(data_, other.data_);
}

Record::Record(Record&& other) noexcept : table_(other.table_), data_(other.data_) {
  other.data_ = nullptr;
}

Record& Record::operator=(const Record& other) {
  if (this == &other) return *this;
  if (table_->ops != other.table_->ops) {
    Record copy(other);
    *this = std::move(copy);
  } else {
    table_->ops->copy(data_, other.data_);
    table_ = other.table_;
  }
  return *this;
}

Record& Record::operator=(Record&& other) noexcept {
  if (this != &other) {
    std::swap(table_, other.table_);
    std::swap(data_, other.data_);
  }
  return *this;
}

Record::~Record() {
  if (!data_) return;
  table_->ops->destroy(data_);
  ::operator delete(data_, std::align_val_t(table_->ops->align));
}

void Record::check(const TableInfo* typed) const {
  if (typed->ops != table_->ops)
    throw std::logic_error("record of " + std::string(table_->label) + " used as " +
                           std::string(typed->label));
}

void Record::clear() {
  table_->ops->destroy(data_);
  table_->ops->construct(data_);
}

bool Record::operator==(const Record& other) const {
  return table_ == other.table_ && table_->ops->equal(data_, other.data_);
}

Value Record::get(const FieldRef& ref) const {
  if (!ref || ref.table->ops != table_->ops) throw std::logic_error("field of another table");
  void* p = table_->ops->address(data_, ref.table->fieldIndex(*ref.field), ref.element - 1);
  switch (ref.field->type) {
    case Type::Byte: return std::int64_t(*static_cast<std::uint8_t*>(p));
    case Type::Short: return std::int64_t(*static_cast<std::int16_t*>(p));
    case Type::Long: return std::int64_t(*static_cast<std::int32_t*>(p));
    case Type::Real: return *static_cast<double*>(p);
    case Type::Decimal: return *static_cast<Decimal*>(p);
    case Type::String:
    case Type::Memo: return *static_cast<std::string*>(p);
    case Type::Group: break;
  }
  throw std::logic_error("a group has no single value");
}

Value Record::get(std::string_view name) const {
  FieldRef ref = resolve(*table_, name);
  if (!ref)
    throw std::invalid_argument("no field " + std::string(name) + " in " +
                                std::string(table_->label));
  return get(ref);
}

Status Record::set(std::string_view name, const Value& value) {
  FieldRef ref = resolve(*table_, name);
  if (!ref)
    return Status::error(err::ValueRefused, "La tabla " + std::string(table_->label) +
                                                " no tiene el campo " + std::string(name));
  return set(ref, value);
}

Status Record::set(const FieldRef& ref, const Value& value) {
  if (!ref || ref.table->ops != table_->ops) throw std::logic_error("field of another table");
  void* p = table_->ops->address(data_, ref.table->fieldIndex(*ref.field), ref.element - 1);
  const FieldInfo& f = *ref.field;

  if (f.type == Type::String || f.type == Type::Memo) {
    std::string text = cp1252::utf8Prefix(toText(value), f.size);
    auto enc = cp1252::fromUtf8(text);
    if (!enc.ok) return refused(ref, "el carácter «" + enc.bad + "»");
    *static_cast<std::string*>(p) = std::move(text);
    return Status::success();
  }

  // Every number goes through double or exact cents before landing in the field.
  double d = 0;
  if (auto* s = std::get_if<std::string>(&value)) {
    if (!parseNumber(*s, d)) return refused(ref, "«" + *s + "»: no es un número");
    if (f.type == Type::Decimal) {
      auto dec = Decimal::parse(*s);
      if (!dec) return refused(ref, "«" + *s + "»: no es un número");
      if (!pack(*dec, 9, 2, nullptr))
        return refused(ref, "el valor " + dec->toString() + " (fuera de rango)");
      *static_cast<Decimal*>(p) = *dec;
      return Status::success();
    }
  } else if (auto* i = std::get_if<std::int64_t>(&value)) {
    d = double(*i);
    if (f.type != Type::Real && f.type != Type::Decimal) {
      // Integers go straight in, without a trip through double.
      std::int64_t lo = 0, hi = 0;
      if (f.type == Type::Byte) lo = 0, hi = 255;
      if (f.type == Type::Short) lo = INT16_MIN, hi = INT16_MAX;
      if (f.type == Type::Long) lo = INT32_MIN, hi = INT32_MAX;
      if (*i < lo || *i > hi)
        return refused(ref, "el valor " + std::to_string(*i) + " (rango " + std::to_string(lo) +
                                " .. " + std::to_string(hi) + ")");
      if (f.type == Type::Byte) *static_cast<std::uint8_t*>(p) = std::uint8_t(*i);
      if (f.type == Type::Short) *static_cast<std::int16_t*>(p) = std::int16_t(*i);
      if (f.type == Type::Long) *static_cast<std::int32_t*>(p) = std::int32_t(*i);
      return Status::success();
    }
  } else if (auto* r = std::get_if<double>(&value)) {
    d = *r;
  } else {
    const Decimal& dec = std::get<Decimal>(value);
    if (f.type == Type::Decimal) {
      if (!pack(dec, 9, 2, nullptr))
        return refused(ref, "el valor " + dec.toString() + " (fuera de rango)");
      *static_cast<Decimal*>(p) = dec;
      return Status::success();
    }
    d = dec.toDouble();
  }

  if (!std::isfinite(d)) return refused(ref, "un valor no finito");
  switch (f.type) {
    case Type::Real: *static_cast<double*>(p) = d; return Status::success();
    case Type::Decimal: {
      auto dec = Decimal::fromDouble(d);
      if (!dec || !pack(*dec, 9, 2, nullptr))
        return refused(ref, "el valor " + formatReal(d) + " (fuera de rango)");
      *static_cast<Decimal*>(p) = *dec;
      return Status::success();
    }
    default: break;
  }
  // Integer fields take the whole part, as the platform's assignment does.
  double whole = std::trunc(d);
  double lo = 0, hi = 0;
  if (f.type == Type::Byte) lo = 0, hi = 255;
  if (f.type == Type::Short) lo = INT16_MIN, hi = INT16_MAX;
  if (f.type == Type::Long) lo = INT32_MIN, hi = INT32_MAX;
  if (whole < lo || whole > hi)
    return refused(ref, "el valor " + formatReal(d) + " (rango " + formatReal(lo) + " .. " +
                            formatReal(hi) + ")");
  if (f.type == Type::Byte) *static_cast<std::uint8_t*>(p) = std::uint8_t(whole);
  if (f.type == Type::Short) *static_cast<std::int16_t*>(p) = std::int16_t(whole);
  if (f.type == Type::Long) *static_cast<std::int32_t*>(p) = std::int32_t(whole);
  return Status::success();
}

Status encode(const TableInfo& table, const void* record, std::span<unsigned char> fixed,
              std::string* memo) {
  if (fixed.size() != table.recordLength)
    throw std::logic_error("record buffer of the wrong size for " + std::string(table.label));
  void* rec = const_cast<void*>(record);  // address() is shared by readers and writers
  const auto& ops = *table.ops;
  for (std::size_t fi = 0; fi < table.fields.size(); ++fi) {
    const FieldInfo& f = table.fields[fi];
    if (f.type == Type::Group) continue;
    if (f.type == Type::Memo) {
      if (!memo) continue;
      const auto& text = *static_cast<const std::string*>(ops.address(rec, int(fi), 0));
      auto enc = cp1252::fromUtf8(cp1252::utf8Prefix(text, f.size));
      if (!enc.ok)
        return Status::error(err::ValueRefused, "El campo " + std::string(f.name) +
                                                    " no acepta el carácter «" + enc.bad + "»");
      *memo = std::move(enc.bytes);
      continue;
    }
    int n = elementCount(table, f);
    for (int e = 0; e < n; ++e) {
      unsigned char* out = fixed.data() + elementOffset(table, f, e);
      const void* p = ops.address(rec, int(fi), e);
      switch (f.type) {
        case Type::Byte: *out = *static_cast<const std::uint8_t*>(p); break;
        case Type::Short: putLE(out, *static_cast<const std::int16_t*>(p)); break;
        case Type::Long: putLE(out, *static_cast<const std::int32_t*>(p)); break;
        case Type::Real: putReal(out, *static_cast<const double*>(p)); break;
        case Type::Decimal:
          if (!pack(*static_cast<const Decimal*>(p), 9, 2, out))
            return Status::error(err::ValueRefused, "El campo " + std::string(f.name) +
                                                        " no acepta el valor " +
                                                        static_cast<const Decimal*>(p)->toString() +
                                                        " (fuera de rango)");
          break;
        case Type::String: {
          const auto& text = *static_cast<const std::string*>(p);
          std::string bad;
          long n = cp1252::encodeInto(text, out, f.size, &bad);
          if (n < 0)
            return Status::error(err::ValueRefused, "El campo " + std::string(f.name) +
                                                        " no acepta el carácter «" + bad + "»");
          std::memset(out + n, ' ', f.size - std::size_t(n));
          break;
        }
        case Type::Memo:
        case Type::Group: break;
      }
    }
  }
  return Status::success();
}

Status decode(const TableInfo& table, std::span<const unsigned char> fixed, std::string_view memo,
              void* record) {
  if (fixed.size() != table.recordLength)
    return Status::error(err::InvalidRecord, "El registro de " + std::string(table.label) +
                                                 " mide " + std::to_string(fixed.size()) +
                                                 " bytes; se esperaban " +
                                                 std::to_string(table.recordLength));
  const auto& ops = *table.ops;
  for (std::size_t fi = 0; fi < table.fields.size(); ++fi) {
    const FieldInfo& f = table.fields[fi];
    if (f.type == Type::Group) continue;
    if (f.type == Type::Memo) {
      if (memo.size() > f.size) memo = memo.substr(0, f.size);
      *static_cast<std::string*>(ops.address(record, int(fi), 0)) = cp1252::toUtf8(memo);
      continue;
    }
    int n = elementCount(table, f);
    for (int e = 0; e < n; ++e) {
      const unsigned char* in = fixed.data() + elementOffset(table, f, e);
      void* p = ops.address(record, int(fi), e);
      switch (f.type) {
        case Type::Byte: *static_cast<std::uint8_t*>(p) = *in; break;
        case Type::Short: *static_cast<std::int16_t*>(p) = getLE<std::int16_t>(in); break;
        case Type::Long: *static_cast<std::int32_t*>(p) = getLE<std::int32_t>(in); break;
        case Type::Real: *static_cast<double*>(p) = getReal(in); break;
        case Type::Decimal: {
          auto d = unpack(in, 9, 2);
          if (!d)
            return Status::error(err::InvalidRecord,
                                 "El campo " + std::string(f.name) + " contiene un decimal dañado");
          *static_cast<Decimal*>(p) = *d;
          break;
        }
        case Type::String: decodeText(in, f.size, *static_cast<std::string*>(p)); break;
        case Type::Memo:
        case Type::Group: break;
      }
    }
  }
  return Status::success();
}

}  // namespace velmora
