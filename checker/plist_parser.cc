#include "checker/plist_parser.h"

#include <plist/plist.h>

#include <cstdint>
#include <cstdlib>
#include <limits>

namespace {

ParsedEntry ReadEntry(plist_t node) {
  ParsedEntry entry;
  switch (plist_get_node_type(node)) {
    case PLIST_STRING: {
      char* value = nullptr;
      plist_get_string_val(node, &value);
      entry.element = "string";
      entry.text = value ? value : "";
      std::free(value);
      break;
    }
    case PLIST_BOOLEAN: {
      uint8_t value = 0;
      plist_get_bool_val(node, &value);
      entry.element = "boolean";
      entry.text = value ? "true" : "false";
      break;
    }
    case PLIST_UINT: {
      uint64_t value = 0;
      plist_get_uint_val(node, &value);
      entry.element = "integer";
      entry.text = std::to_string(value);
      break;
    }
    case PLIST_REAL: entry.element = "real"; break;
    case PLIST_DICT: entry.element = "dict"; break;
    case PLIST_ARRAY: entry.element = "array"; break;
    case PLIST_DATE: entry.element = "date"; break;
    case PLIST_DATA: entry.element = "data"; break;
    default: entry.element = "other"; break;
  }
  return entry;
}

}  // namespace

ParsedPlist ParsePlist(const std::string& data, const std::vector<std::string>& keys) {
  ParsedPlist parsed;
  if (data.empty() || data.size() > std::numeric_limits<uint32_t>::max()) return parsed;
  const auto length = static_cast<uint32_t>(data.size());
  parsed.binary = plist_is_binary(data.data(), length) != 0;
  plist_t root = nullptr;
  plist_from_memory(data.data(), length, &root);
  if (root == nullptr) return parsed;
  if (plist_get_node_type(root) == PLIST_DICT) {
    parsed.readable = true;
    for (const std::string& key : keys) {
      plist_t node = plist_dict_get_item(root, key.c_str());
      if (node != nullptr) parsed.entries[key] = ReadEntry(node);
    }
  }
  plist_free(root);
  return parsed;
}
