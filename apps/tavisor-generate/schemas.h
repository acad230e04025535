// The layouts of the forms, for `generate --schema`: what a program that
// reads the files needs to know before it sees one.
#pragma once

#include <string>

#include "record_formats.h"

namespace generate {

// JSON Lines and JSON: a JSON Schema (draft 2020-12) of one record object.
// CSV: the columns in order with their types, as CSV ("column,type").
// SQLite: the database's CREATE TABLE statements (DatabaseSchema).
// The text form has none. Each ends with a line break.
std::string SchemaText(Format format);

}  // namespace generate
