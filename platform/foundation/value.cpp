#include "platform/foundation/value.h"

namespace platform {

bool Value::boolValue(bool fallback) const {
  switch (type()) {
    case Type::Bool: return std::get<bool>(v_);
    case Type::Integer: return std::get<int64_t>(v_) != 0;
    case Type::Real: return std::get<double>(v_) != 0.0;
    default: return fallback;
  }
}

int64_t Value::integerValue(int64_t fallback) const {
  switch (type()) {
    case Type::Bool: return std::get<bool>(v_) ? 1 : 0;
    case Type::Integer: return std::get<int64_t>(v_);
    case Type::Real: {
      const double d = std::get<double>(v_);
      // Out-of-range reals saturate instead of invoking undefined conversion.
      if (!(d == d)) return 0;
      if (d >= 9.2233720368547758e18) return INT64_MAX;
      if (d <= -9.2233720368547758e18) return INT64_MIN;
      return static_cast<int64_t>(d);
    }
    default: return fallback;
  }
}

double Value::realValue(double fallback) const {
  switch (type()) {
    case Type::Bool: return std::get<bool>(v_) ? 1.0 : 0.0;
    case Type::Integer: return static_cast<double>(std::get<int64_t>(v_));
    case Type::Real: return std::get<double>(v_);
    default: return fallback;
  }
}

const Value* Value::find(const std::string& key) const {
  const Dictionary* d = dictionary();
  if (!d) return nullptr;
  auto it = d->find(key);
  return it == d->end() ? nullptr : &it->second;
}

const Value* Value::at(size_t index) const {
  const Array* a = array();
  if (!a || index >= a->size()) return nullptr;
  return &(*a)[index];
}

}  // namespace platform
