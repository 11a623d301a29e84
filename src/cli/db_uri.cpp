#include "cli/db_uri.h"

#include <cctype>

namespace taktm {
namespace {

constexpr const char* kSchemes[] = {"postgresql://", "postgres://"};

size_t SchemeLength(const std::string& text) {
  for (const char* scheme : kSchemes) {
    const std::string s = scheme;
    if (text.compare(0, s.size(), s) == 0) return s.size();
  }
  return 0;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

std::optional<std::string> Decode(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '%') {
      out += text[i];
      continue;
    }
    const int hi = i + 1 < text.size() ? HexDigit(text[i + 1]) : -1;
    const int lo = i + 2 < text.size() ? HexDigit(text[i + 2]) : -1;
    if (hi < 0 || lo < 0) return std::nullopt;
    const char c = static_cast<char>(hi * 16 + lo);
    if (c == '\0') return std::nullopt;
    out += c;
    i += 2;
  }
  return out;
}

// The end of the host part: the first '/' or '?' after the scheme.
size_t AuthorityEnd(const std::string& text, size_t from) {
  const size_t end = text.find_first_of("/?", from);
  return end == std::string::npos ? text.size() : end;
}

}  // namespace

bool IsDatabaseUri(const std::string& text) { return SchemeLength(text) > 0; }

size_t SerialSuffixFloor(const std::string& target) {
  const size_t scheme = SchemeLength(target);
  if (scheme == 0) return 0;
  const size_t end = AuthorityEnd(target, scheme);
  return end == target.size() ? target.size() : end;
}

std::optional<DatabaseUri> ParseDatabaseUri(const std::string& text,
                                            std::string* error) {
  const size_t scheme = SchemeLength(text);
  auto fail = [&](const std::string& why) -> std::optional<DatabaseUri> {
    *error = "Неверный адрес базы данных \"" + text + "\": " + why;
    return std::nullopt;
  };
  if (scheme == 0) return fail("нужно postgresql://…");
  DatabaseUri uri;
  const size_t authority_end = AuthorityEnd(text, scheme);
  std::string authority = text.substr(scheme, authority_end - scheme);
  std::string shown = text.substr(0, scheme);
  auto add = [&](const std::string& key, const std::string& raw) -> bool {
    const std::optional<std::string> value = Decode(raw);
    if (!value) return false;
    if (!value->empty()) uri.params.emplace_back(key, *value);
    return true;
  };
  // user[:password]@
  if (const size_t at = authority.rfind('@'); at != std::string::npos) {
    const std::string user_info = authority.substr(0, at);
    const size_t colon = user_info.find(':');
    if (!add("user", user_info.substr(0, colon))) {
      return fail("неверная %-последовательность");
    }
    shown += user_info.substr(0, colon);
    if (colon != std::string::npos) {
      if (!add("password", user_info.substr(colon + 1))) {
        return fail("неверная %-последовательность");
      }
      shown += ":***";
    }
    shown += "@";
    authority = authority.substr(at + 1);
  }
  shown += authority;
  // host[:port][,host[:port]...]; an IPv6 host is in brackets.
  std::string hosts;
  std::string ports;
  bool any_host = false;
  bool any_port = false;
  bool first = true;
  size_t from = 0;
  while (!authority.empty()) {
    size_t comma = authority.find(',', from);
    const bool last = comma == std::string::npos;
    if (last) comma = authority.size();
    const std::string host_port = authority.substr(from, comma - from);
    from = comma + 1;
    std::string host = host_port;
    std::string port;
    if (!host_port.empty() && host_port[0] == '[') {
      const size_t close = host_port.find(']');
      if (close == std::string::npos) return fail("нет закрывающей ]");
      host = host_port.substr(1, close - 1);
      if (close + 1 < host_port.size()) {
        if (host_port[close + 1] != ':') return fail("лишнее после ]");
        port = host_port.substr(close + 2);
      }
    } else if (const size_t colon = host_port.rfind(':');
               colon != std::string::npos) {
      host = host_port.substr(0, colon);
      port = host_port.substr(colon + 1);
    }
    for (const char c : port) {
      if (!std::isdigit(static_cast<unsigned char>(c))) {
        return fail("неверный порт \"" + port + "\"");
      }
    }
    const std::optional<std::string> decoded = Decode(host);
    if (!decoded) return fail("неверная %-последовательность");
    hosts += (first ? "" : ",") + *decoded;
    ports += (first ? "" : ",") + port;
    any_host = any_host || !decoded->empty();
    any_port = any_port || !port.empty();
    first = false;
    if (last) break;
  }
  if (any_host) uri.params.emplace_back("host", hosts);
  if (any_port) uri.params.emplace_back("port", ports);
  std::string rest = text.substr(authority_end);
  // /dbname
  std::string query;
  if (const size_t q = rest.find('?'); q != std::string::npos) {
    query = rest.substr(q + 1);
    rest.resize(q);
  }
  if (!rest.empty()) {
    shown += rest;
    if (!add("dbname", rest.substr(1))) {
      return fail("неверная %-последовательность");
    }
  }
  // ?key=value&...
  std::string shown_query;
  from = 0;
  while (!query.empty() && from <= query.size()) {
    size_t amp = query.find('&', from);
    if (amp == std::string::npos) amp = query.size();
    const std::string pair = query.substr(from, amp - from);
    from = amp + 1;
    if (pair.empty()) continue;
    const size_t eq = pair.find('=');
    if (eq == std::string::npos) return fail("нет \"=\" в \"" + pair + "\"");
    const std::optional<std::string> key = Decode(pair.substr(0, eq));
    const std::optional<std::string> value = Decode(pair.substr(eq + 1));
    if (!key || !value) return fail("неверная %-последовательность");
    if (*key == "counter") {
      if (value->empty()) return fail("пустое имя счётчика");
      uri.counter = *value;
      continue;
    }
    shown_query += (shown_query.empty() ? "?" : "&") + *key + "=" +
                   (*key == "password" ? "***" : pair.substr(eq + 1));
    // A later value replaces an earlier one, host and port included.
    for (auto it = uri.params.begin(); it != uri.params.end();) {
      it = it->first == *key ? uri.params.erase(it) : it + 1;
    }
    uri.params.emplace_back(*key, *value);
  }
  uri.shown = shown + shown_query;
  return uri;
}

}  // namespace taktm
