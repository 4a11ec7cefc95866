#include "soundcloud-sdk/ui/sc_contacts_source.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <sstream>

#include "soundcloud-sdk/ui/sc_bundle.h"

namespace scui {

namespace {

std::string lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

std::string trim(const std::string& s) {
  const size_t a = s.find_first_not_of(" \t\r\n");
  if (a == std::string::npos) return {};
  return s.substr(a, s.find_last_not_of(" \t\r\n") - a + 1);
}

// vCard text values escape commas, semicolons and backslashes.
std::string unescape(const std::string& v) {
  std::string out;
  for (size_t i = 0; i < v.size(); ++i) {
    if (v[i] == '\\' && i + 1 < v.size()) {
      const char n = v[++i];
      out += (n == 'n' || n == 'N') ? '\n' : n;
    } else {
      out += v[i];
    }
  }
  return out;
}

std::mutex& sourceMutex() {
  static std::mutex m;
  return m;
}
std::shared_ptr<SCContactsSource>& sharedSource() {
  static std::shared_ptr<SCContactsSource> s;
  return s;
}

}  // namespace

SCVCardContactsSource::SCVCardContactsSource(std::filesystem::path file) : file_(std::move(file)) {}

std::filesystem::path SCVCardContactsSource::standardPath() {
  if (const char* f = std::getenv("IGB_CONTACTS_VCF"); f && *f) return f;
  std::filesystem::path base;
  if (const char* x = std::getenv("XDG_DATA_HOME"); x && *x)
    base = x;
  else if (const char* h = std::getenv("HOME"); h && *h)
    base = std::filesystem::path(h) / ".local/share";
  return base / "igroovebix" / "contacts.vcf";
}

std::vector<SCContact> SCVCardContactsSource::allContacts() {
  std::ifstream in(file_, std::ios::binary);
  if (!in) return {};
  std::stringstream ss;
  ss << in.rdbuf();
  return parse(ss.str());
}

std::vector<SCContact> SCVCardContactsSource::parse(const std::string& text) {
  // Unfold: a line that starts with a blank continues the one before.
  std::vector<std::string> lines;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.empty() && (line[0] == ' ' || line[0] == '\t') && !lines.empty())
      lines.back() += line.substr(1);
    else
      lines.push_back(line);
  }
  std::vector<SCContact> out;
  std::optional<SCContact> current;
  std::optional<std::string> structuredName;
  for (const std::string& l : lines) {
    const size_t colon = l.find(':');
    if (colon == std::string::npos) continue;
    const std::string head = l.substr(0, colon), value = l.substr(colon + 1);
    std::vector<std::string> parts;
    std::stringstream hs(head);
    for (std::string p; std::getline(hs, p, ';');) parts.push_back(p);
    if (parts.empty()) continue;
    std::string name = lower(parts[0]);
    if (const size_t dot = name.find('.'); dot != std::string::npos) name = name.substr(dot + 1);  // item1.EMAIL
    if (name == "begin" && lower(trim(value)) == "vcard") {
      current = SCContact{};
      structuredName.reset();
    } else if (name == "end" && lower(trim(value)) == "vcard" && current) {
      if (!current->compositeName && structuredName) current->compositeName = structuredName;
      out.push_back(std::move(*current));
      current.reset();
    } else if (!current) {
      continue;
    } else if (name == "fn") {
      const std::string fn = trim(unescape(value));
      if (!fn.empty()) current->compositeName = fn;
    } else if (name == "n") {
      // Family;Given;Additional;Prefix;Suffix -> "Given Family".
      std::vector<std::string> n;
      std::stringstream vs(value);
      for (std::string p; std::getline(vs, p, ';');) n.push_back(trim(unescape(p)));
      std::string joined;
      if (n.size() > 1 && !n[1].empty()) joined = n[1];
      if (!n.empty() && !n[0].empty()) joined += (joined.empty() ? "" : " ") + n[0];
      if (!joined.empty()) structuredName = joined;
    } else if (name == "email") {
      SCContactEmail e;
      e.address = trim(unescape(value));
      for (size_t i = 1; i < parts.size(); ++i) {
        std::string p = lower(parts[i]);
        if (p.rfind("type=", 0) == 0) p = p.substr(5);
        std::stringstream ts(p);
        for (std::string t; std::getline(ts, t, ',');) {
          t = trim(t);
          if (t.empty() || t == "internet" || t == "pref" || t == "x400") continue;
          if (!e.label) e.label = t;
        }
      }
      current->emails.push_back(std::move(e));
    }
  }
  return out;
}

std::shared_ptr<SCContactsSource> scSharedContactsSource() {
  std::lock_guard<std::mutex> lock(sourceMutex());
  if (!sharedSource()) sharedSource() = std::make_shared<SCVCardContactsSource>(SCVCardContactsSource::standardPath());
  return sharedSource();
}

void scSetSharedContactsSource(std::shared_ptr<SCContactsSource> source) {
  std::lock_guard<std::mutex> lock(sourceMutex());
  sharedSource() = std::move(source);
}

std::optional<std::string> scLocalizedMailType(const std::optional<std::string>& label) {
  if (!label) return std::string("email");
  static const char* known[] = {"home", "work", "other", "internet", "mobile", "school"};
  for (const char* k : known)
    if (*label == k) return std::string(k);
  return std::nullopt;
}

SCAddressBookData scAddressBookData(const std::vector<SCContact>& contacts) {
  SCAddressBookData data;
  for (const SCContact& c : contacts) {
    for (const SCContactEmail& e : c.emails) {
      if (e.address.empty()) continue;
      SCAddressEntry entry;
      entry.name = c.compositeName.value_or(e.address);
      entry.email = e.address;
      entry.mailType = scLocalizedMailType(e.label);
      data[lower(entry.name + " " + e.address)] = entry;
    }
  }
  return data;
}

}  // namespace scui
