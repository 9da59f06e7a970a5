#include "app/client_inventory.h"

#include <cerrno>
#include <cstring>
#include <ctime>
#include <nlohmann/json.hpp>

#include "app/text_file.h"
#include "model/client_name.h"

namespace kestrelon {

namespace {

using Json = nlohmann::ordered_json;

Json address_json(Ipv4Address a) { return a.is_zero() ? Json() : Json(a.text()); }

Ipv4Address address_field(const Json& o, const char* key) {
  const auto it = o.find(key);
  if (it == o.end() || !it->is_string()) return Ipv4Address();
  return Ipv4Address::parse(it->get<std::string>()).value_or(Ipv4Address());
}

std::string string_field(const Json& o, const char* key) {
  const auto it = o.find(key);
  return it != o.end() && it->is_string() ? it->get<std::string>() : std::string();
}

std::int64_t time_field(const Json& o, const char* key) {
  return parse_utc_time(string_field(o, key)).value_or(0);
}

Json entry_json(const InventoryEntry& e) {
  Json o;
  o["name"] = e.name;
  o["address"] = address_json(e.address);
  o["mac"] = e.mac ? Json(e.mac->text()) : Json();
  o["interface"] = address_json(e.interface_address);
  o["broadcast"] = address_json(e.broadcast);
  o["last_seen"] = e.last_seen > 0 ? Json(utc_time_text(e.last_seen)) : Json();
  o["last_image"] = e.last_image.empty() ? Json() : Json(e.last_image);
  o["last_image_at"] = e.last_image_at > 0 ? Json(utc_time_text(e.last_image_at)) : Json();
  o["protected"] = e.is_protected;
  return o;
}

std::optional<InventoryEntry> entry_from(const Json& o) {
  if (!o.is_object()) return std::nullopt;
  InventoryEntry e;
  e.name = string_field(o, "name");
  if (e.name.empty()) return std::nullopt;
  e.address = address_field(o, "address");
  e.mac = MacAddress::parse(string_field(o, "mac"));
  e.interface_address = address_field(o, "interface");
  e.broadcast = address_field(o, "broadcast");
  e.last_seen = time_field(o, "last_seen");
  e.last_image = string_field(o, "last_image");
  e.last_image_at = time_field(o, "last_image_at");
  const auto p = o.find("protected");
  e.is_protected = p != o.end() && p->is_boolean() && p->get<bool>();
  return e;
}

}  // namespace

std::filesystem::path ClientInventory::beside(const std::filesystem::path& journal) {
  if (journal.empty()) return {};
  return journal.parent_path() / kFileName;
}

std::string utc_time_text(std::int64_t seconds) {
  const std::time_t t = static_cast<std::time_t>(seconds);
  std::tm utc{};
  gmtime_r(&t, &utc);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
  return text;
}

std::optional<std::int64_t> parse_utc_time(std::string_view text) {
  std::tm utc{};
  const std::string s(text);
  const char* end = strptime(s.c_str(), "%Y-%m-%dT%H:%M:%SZ", &utc);
  if (!end || *end != '\0') return std::nullopt;
  return static_cast<std::int64_t>(timegm(&utc));
}

std::string inventory_text(const std::vector<InventoryEntry>& entries, int indent) {
  Json clients = Json::array();
  for (const InventoryEntry& e : entries) clients.push_back(entry_json(e));
  Json doc;
  doc["clients"] = clients;
  return doc.dump(indent, ' ', false, Json::error_handler_t::replace) + "\n";
}

std::optional<std::vector<InventoryEntry>> parse_inventory(std::string_view text, std::string& problem,
                                                           int* skipped) {
  const Json doc = Json::parse(text, nullptr, false);
  if (doc.is_discarded() || !doc.is_object()) {
    problem = "it is not a JSON object";
    return std::nullopt;
  }
  const auto list = doc.find("clients");
  if (list == doc.end() || !list->is_array()) {
    problem = "it has no list \"clients\"";
    return std::nullopt;
  }
  std::vector<InventoryEntry> entries;
  int bad = 0;
  for (const Json& o : *list) {
    if (auto e = entry_from(o)) {
      entries.push_back(std::move(*e));
    } else {
      ++bad;
    }
  }
  if (skipped) *skipped = bad;
  return entries;
}

ClientInventory::Contents ClientInventory::read() const {
  Contents out;
  if (file_.empty()) {
    out.missing = true;
    return out;
  }
  int error = 0;
  const auto text = read_text_file(file_, &error);
  if (!text) {
    if (error == ENOENT) {
      out.missing = true;
    } else {
      out.problem = std::strerror(error);
    }
    return out;
  }
  std::string problem;
  if (auto entries = parse_inventory(*text, problem)) {
    out.entries = std::move(*entries);
  } else {
    out.problem = problem;
  }
  return out;
}

std::string ClientInventory::update(const std::function<bool(std::vector<InventoryEntry>&)>& change) const {
  if (file_.empty()) return "no folder for the Client inventory is known (HOME is not set)";
  std::string outcome;
  const int locked = with_folder_lock(file_, [&] {
    Contents now = read();
    if (!now.problem.empty()) {
      outcome = file_.string() + " does not read as a Client inventory (" + now.problem + "); it is left as it is";
      return 0;
    }
    if (!change(now.entries)) return 0;
    if (const int err = replace_text_file(file_, inventory_text(now.entries)); err != 0) {
      outcome = "cannot write " + file_.string() + ": " + std::strerror(err);
    }
    return 0;
  });
  if (locked != 0 && outcome.empty()) outcome = "cannot lock the folder of " + file_.string() + ": " + std::strerror(locked);
  return outcome;
}

int find_entry(const std::vector<InventoryEntry>& entries, std::string_view name) {
  for (std::size_t i = 0; i < entries.size(); ++i)
    if (same_client_name(entries[i].name, name)) return static_cast<int>(i);
  return -1;
}

SightingChange note_sighting(std::vector<InventoryEntry>& entries, const ListedClient& seen, std::int64_t now) {
  int i = find_entry(entries, seen.name);
  if (i < 0) {
    if (entries.size() >= ClientInventory::kMaxEntries) {
      int oldest = -1;
      for (std::size_t k = 0; k < entries.size(); ++k) {
        if (entries[k].is_protected) continue;
        if (oldest < 0 || entries[k].last_seen < entries[static_cast<std::size_t>(oldest)].last_seen)
          oldest = static_cast<int>(k);
      }
      if (oldest < 0) return SightingChange::none;  // every entry protected: nothing gives way
      entries.erase(entries.begin() + oldest);
    }
    entries.push_back(InventoryEntry{.name = seen.name});
    i = static_cast<int>(entries.size()) - 1;
  }
  InventoryEntry& e = entries[static_cast<std::size_t>(i)];
  const InventoryEntry before = e;
  e.name = seen.name;  // the spelling it answers with now
  e.address = seen.address;
  if (seen.mac) e.mac = seen.mac;
  e.interface_address = seen.interface_address;
  e.broadcast = seen.broadcast;
  e.last_seen = now;
  const bool facts = before.name != e.name || before.address != e.address || before.mac != e.mac ||
                     before.interface_address != e.interface_address || before.broadcast != e.broadcast ||
                     before.last_seen == 0;
  if (facts) return SightingChange::facts;
  return before.last_seen != now ? SightingChange::last_seen : SightingChange::none;
}

}  // namespace kestrelon
