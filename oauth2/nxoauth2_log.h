#pragma once
// The OAuth2 layer's few log lines. Nothing secret is ever written here:
// tokens and token-endpoint replies stay out of every line.
//
// Thread-safe.

#include <functional>
#include <string>

namespace nxoauth2 {

using NXOAuth2LogSink = std::function<void(const std::string& line)>;

// Replaces the sink (standard error when none is set); returns the old one.
NXOAuth2LogSink setNXOAuth2LogSink(NXOAuth2LogSink sink);
void nxoauth2Log(const std::string& line);

// A credential shown in text: its length only.
std::string redactedSecret(const std::string& secret);

}  // namespace nxoauth2
