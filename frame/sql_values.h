// Values turned into pieces of SQL text, and the value tests the operations share: NVL, BFill,
// IsValorizzato, and the two safe forms of a parameter in a statement (a whole number pasted
// without quotes, a text whose quotes are doubled for pasting between quotes).
#pragma once

#include <optional>
#include <string>

#include "db/sql_text.h"
#include "veriprog/variant.h"

namespace veriprog {

// Present: not Null, not Empty, not the empty text. Blanks and 0 are present. Never fails.
bool IsValorizzato(const db::Variant& value) noexcept;
// Default when the value is Null, Empty or has an empty text form; the value unchanged otherwise.
db::Variant NVL(const db::Variant& value, const db::Variant& fallback);
// Fixed-width code: text form trimmed, padded with blanks or cut to `length`; Null for Null/Empty.
db::Variant BFill(const db::Variant& value, int length);

// The whole number a parameter holds (12, "12", 12.0), or nullopt: what may be pasted unquoted.
std::optional<std::int64_t> WholeNumber(const db::Variant& value);
// The value's text with every quote doubled, ready to stand between quotes.
using db::SqlText;

}  // namespace veriprog
