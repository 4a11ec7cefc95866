#include "app/gq_flurry.h"

GQFlurry& GQFlurry::sharedInstance() {
  static GQFlurry instance;  // thread-safe one-time initialisation
  return instance;
}

void GQFlurry::reportEvent(const std::string& name) {
  if (enabled_ && lastEventType_ != name) lastEventType_ = name;
}
