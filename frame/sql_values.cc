#include "frame/sql_values.h"

#include "db/text.h"

namespace veriprog {

bool IsValorizzato(const db::Variant& value) noexcept {
  return value.IsPresent();
}

db::Variant NVL(const db::Variant& value, const db::Variant& fallback) {
  return db::Nvl(value, fallback);
}

db::Variant BFill(const db::Variant& value, int length) {
  if (!value.has_value()) return db::Variant::Null();
  std::string text(db::Trim(value.ToText()));
  const auto width = static_cast<std::size_t>(length < 0 ? 0 : length);
  // Cut on a character boundary: codes are short, but a name may hold accented letters.
  std::size_t bytes = 0;
  std::size_t chars = 0;
  while (bytes < text.size() && chars < width) {
    ++bytes;
    while (bytes < text.size() && (static_cast<unsigned char>(text[bytes]) & 0xC0) == 0x80)
      ++bytes;
    ++chars;
  }
  text.resize(bytes);
  text.append(width - chars, ' ');
  return text;
}

std::optional<std::int64_t> WholeNumber(const db::Variant& value) {
  return value.ToWholeNumber();
}

}  // namespace veriprog
