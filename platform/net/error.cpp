#include "platform/net/error.h"

namespace platform {

Error Error::make(std::string domain, int64_t code, const std::string& description) {
  Error e;
  e.domain = std::move(domain);
  e.code = code;
  if (!description.empty()) e.userInfo[kNSLocalizedDescriptionKey] = Value(description);
  return e;
}

std::string Error::localizedDescription() const {
  auto it = userInfo.find(kNSLocalizedDescriptionKey);
  if (it != userInfo.end() && it->second.isString()) return *it->second.string();
  return "The operation couldn\xE2\x80\x99t be completed. (" + domain + " error " + std::to_string(code) + ".)";
}

Value Error::toValue() const {
  return Value(Dictionary{{"domain", Value(domain)}, {"code", Value(static_cast<long long>(code))},
                          {"userInfo", Value(userInfo)}});
}

std::optional<Error> Error::fromValue(const Value& value) {
  const Value* domain = value.find("domain");
  const Value* code = value.find("code");
  if (!domain || !domain->isString() || !code || !code->isInteger()) return std::nullopt;
  Error e;
  e.domain = *domain->string();
  e.code = code->integerValue();
  if (const Value* info = value.find("userInfo"); info && info->isDictionary()) e.userInfo = *info->dictionary();
  return e;
}

}  // namespace platform
