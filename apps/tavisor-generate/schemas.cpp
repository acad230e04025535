#include "schemas.h"

#include "database_file.h"

namespace generate {

namespace {

// Dates and times as the forms write them: as stored, unchecked (31 April,
// hour 24), so the patterns check the layout only.
constexpr char kJsonSchema[] = R"({
  "$schema": "https://json-schema.org/draft/2020-12/schema",
  "title": "Tavisor bird record",
  "description": "One record: a line of JSON Lines, an item of the JSON array.",
  "type": "object",
  "required": ["record", "order", "family", "name", "rarity", "common", "observations"],
  "additionalProperties": false,
  "properties": {
    "record": {"type": "integer", "minimum": 1, "description": "The record's number in the run, from 1"},
    "order": {"type": "string"},
    "family": {"type": "string"},
    "name": {"type": "string"},
    "rarity": {"type": "string", "maxLength": 1, "description": "A letter; A: a common species"},
    "common": {"type": "boolean", "description": "Whether the rarity is A"},
    "observations": {"type": "array", "items": {"$ref": "#/$defs/observation"}}
  },
  "$defs": {
    "angle": {
      "description": "Degrees, minutes and seconds of arc",
      "type": "array",
      "prefixItems": [{"type": "integer"}, {"type": "integer"}, {"type": "integer"}],
      "minItems": 3,
      "items": false
    },
    "observation": {
      "type": "object",
      "required": ["place", "date", "time", "count"],
      "additionalProperties": false,
      "properties": {
        "place": {
          "oneOf": [
            {
              "type": "object",
              "required": ["municipality"],
              "additionalProperties": false,
              "properties": {"municipality": {"type": "string"}}
            },
            {
              "type": "object",
              "required": ["latitude", "longitude", "latitude_decimal", "longitude_decimal"],
              "additionalProperties": false,
              "properties": {
                "latitude": {"$ref": "#/$defs/angle", "description": "North"},
                "longitude": {"$ref": "#/$defs/angle", "description": "East"},
                "latitude_decimal": {"type": "number", "description": "Decimal degrees, six places"},
                "longitude_decimal": {"type": "number", "description": "Decimal degrees, six places"}
              }
            }
          ]
        },
        "date": {"type": "string", "pattern": "^-?[0-9]{4,}-[0-9]{2,}-[0-9]{2,}$"},
        "time": {"type": "string", "pattern": "^-?[0-9]{2,}:[0-9]{2}:[0-9]{2}$"},
        "count": {"type": ["integer", "null"], "description": "null: the birds were not counted"}
      }
    }
  }
}
)";

}  // namespace

std::string SchemaText(Format format) {
  switch (format) {
    case Format::kJsonLines:
    case Format::kJson:
      return kJsonSchema;
    case Format::kCsv: {
      std::string text = "column,type\n";
      for (const CsvColumn& column : CsvColumns()) {
        text += std::string(column.name) + "," + column.type + "\n";
      }
      return text;
    }
    case Format::kSqlite: {
      std::string text;
      for (const std::string& statement : DatabaseSchema()) text += statement + ";\n";
      return text;
    }
    case Format::kText:
      break;
  }
  return {};
}

}  // namespace generate
