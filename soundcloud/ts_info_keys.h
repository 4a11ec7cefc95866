#pragma once
// The app's client keys at the service, from the bundle's information
// dictionary ("Info.plist"): "SCConsumerKey", "SCSecretKey", "SCCallbackURL"
// and "SCApplicationID". Their values are supplied when the app is built.
//
// A key is read until it is found and then kept for the process; a missing
// or empty key reads as nullopt (the facade then refuses to start with the
// message of tsMissingInfoKeyMessage). forgetInfoKeys() drops what was kept
// (tests that swap bundles use it).
//
// Thread-safe.

#include <optional>
#include <string>

namespace tssc {

inline constexpr const char* kSCConsumerKey = "SCConsumerKey";
inline constexpr const char* kSCSecretKey = "SCSecretKey";
inline constexpr const char* kSCCallbackURL = "SCCallbackURL";
inline constexpr const char* kSCApplicationID = "SCApplicationID";

std::optional<std::string> tsInfoKey(const char* key);
// "<key> is not assigned. Please define it at Info.plist"
std::string tsMissingInfoKeyMessage(const char* key);
void tsForgetInfoKeys();

}  // namespace tssc
