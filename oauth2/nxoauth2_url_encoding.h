#pragma once
// The OAuth2 layer's helpers on strings, URLs and data: query strings,
// percent-encoding, parameters added to URLs, identifiers, and digests.
//
// Thread-safe (no shared state).

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "oauth2/nxoauth2_parameters.h"
#include "platform/net/url.h"

namespace nxoauth2 {

// A new random UUID, 36 characters, upper-case hexadecimal in groups 8-4-4-4-12.
std::string nxoauth2_stringWithUUID();

// "key=value" pairs joined by "&", in the parameters' order, key and value
// URL-encoded. Strings and numbers give their text; an array gives one pair
// per element under the same key; values without text (data, files,
// streams) have no query form and are left out.
std::string nxoauth2_stringWithEncodedQueryParameters(const NXOAuth2Parameters& parameters);

// Splits at "&" and each piece at "="; only pieces with exactly one "="
// count; keys and values are URL-decoded; a later key replaces an earlier.
std::map<std::string, std::string> nxoauth2_parametersFromEncodedQueryString(std::string_view query);

// Percent-encodes the UTF-8 bytes of everything but letters, digits, "-",
// ".", "_" and "~", with upper-case hexadecimal.
std::string nxoauth2_URLEncodedString(std::string_view text);
// Replaces every percent escape; "+" stays "+"; a broken escape is kept as
// it is.
std::string nxoauth2_URLDecodedString(std::string_view text);

// The URL with the encoded parameters added to its query ("?" or "&"); the
// URL itself for no parameters. A fragment stays at the end.
platform::URL nxoauth2_URLByAddingParameters(const platform::URL& url, const NXOAuth2Parameters& parameters);
// The decoded value of `key` in the URL's query; a text without "://" is
// read as if it began "http://", so a bare custom-scheme redirect parses.
std::optional<std::string> nxoauth2_valueForQueryParameterKey(const platform::URL& url, const std::string& key);
std::string nxoauth2_URLStringWithoutQueryString(const platform::URL& url);
platform::URL nxoauth2_URLWithoutQueryString(const platform::URL& url);

using NXOAuth2SHA1Digest = std::array<uint8_t, 20>;
NXOAuth2SHA1Digest nx_SHA1Digest(std::span<const uint8_t> data);
// 40 lower-case hexadecimal characters.
std::string nx_SHA1Hexdigest(std::span<const uint8_t> data);

// Random bytes from the operating system.
void nxoauth2_randomBytes(std::span<uint8_t> out);
// Base64 with the URL alphabet and no padding (RFC 4648 section 5).
std::string nxoauth2_base64URLEncoded(std::span<const uint8_t> data);

}  // namespace nxoauth2
