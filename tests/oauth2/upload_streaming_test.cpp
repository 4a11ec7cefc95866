#include <gtest/gtest.h>
#include <openssl/evp.h>
#include <sys/resource.h>

#include <fstream>

#include "oauth2/nxoauth2_connection.h"
#include "tests/oauth2/oauth2_test_support.h"

using namespace nxoauth2;
using igbtest::HandlerResult;
using igbtest::HttpRequest;
using igbtest::HttpResponse;
using igbtest::pumpMainLoopUntil;
using igbtest::TestHttpServer;

namespace {

long peakResidentKiB() {
  rusage u;
  ::getrusage(RUSAGE_SELF, &u);
  return u.ru_maxrss;
}

class UploadStreamingTest : public igbtest::OAuth2Test {};

TEST_F(UploadStreamingTest, ALargeFileGoesOutInConstantMemoryWithSteadyProgress) {
  constexpr size_t kSize = 64u << 20;
  const auto file = keychain_.root() / "bounce.wav";
  {
    std::ofstream out(file, std::ios::binary);
    std::vector<char> block(1 << 20);
    for (size_t written = 0; written < kSize; written += block.size()) {
      for (size_t i = 0; i < block.size(); ++i) block[i] = static_cast<char>((written + i) * 2654435761u >> 13);
      out.write(block.data(), static_cast<std::streamsize>(block.size()));
    }
  }

  TestHttpServer server([](const HttpRequest&) { return HttpResponse::json(201, "{\"id\":1}"); });
  server.maxStoredBody = 0;  // the server only hashes; nothing of the body stays in memory
  const long before = peakResidentKiB();
  HandlerResult result;
  platform::URLRequest request(*platform::URL::withString(server.url("/tracks.json")));
  request.httpMethod = "POST";
  auto c = NXOAuth2Connection::make(
      request, NXOAuth2Parameters{{"track[title]", "big"}, {"track[asset_data]", platform::URL::fileURLWithPath(file)}},
      nullptr, result.progressHandler(), result.handler());
  ASSERT_TRUE(pumpMainLoopUntil([&] { return result.done(); }, 60.0));
  ASSERT_FALSE(result.error) << result.error->localizedDescription();
  const long grownMiB = (peakResidentKiB() - before) / 1024;
  EXPECT_LT(grownMiB, 16) << "the body was held in memory";

  const auto req = server.requests().at(0);
  EXPECT_GT(req.bodyLength, kSize);
  EXPECT_EQ(req.header("Content-Length"), std::to_string(req.bodyLength));
  ASSERT_FALSE(result.progress.empty());
  uint64_t last = 0;
  for (auto [sent, total] : result.progress) {
    EXPECT_GE(sent, last);
    EXPECT_EQ(total, req.bodyLength);
    last = sent;
  }
  EXPECT_EQ(last, req.bodyLength);
  EXPECT_GT(result.progress.size(), 10u);

  // The file's bytes arrived unchanged: rebuild the body's digest from the
  // known pieces around it.
  const std::string boundary = igbtest::boundaryOf(req.header("Content-Type").value_or("")).value_or("");
  const std::string head = "--" + boundary + "\r\nContent-Disposition: form-data; name=\"track[title]\"\r\n\r\nbig\r\n--" +
                           boundary +
                           "\r\nContent-Disposition: form-data; name=\"track[asset_data]\"; filename=\"bounce.wav\"\r\n"
                           "Content-Transfer-Encoding: binary\r\nContent-Type: application/octet-stream\r\n\r\n";
  const std::string tail = "\r\n--" + boundary + "--\r\n";
  ASSERT_EQ(req.bodyLength, head.size() + kSize + tail.size());
  EVP_MD_CTX* whole = EVP_MD_CTX_new();
  EVP_DigestInit_ex(whole, EVP_sha1(), nullptr);
  EVP_DigestUpdate(whole, head.data(), head.size());
  std::ifstream in(file, std::ios::binary);
  std::vector<char> block(1 << 20);
  while (in.read(block.data(), static_cast<std::streamsize>(block.size())) || in.gcount() > 0)
    EVP_DigestUpdate(whole, block.data(), static_cast<size_t>(in.gcount()));
  EVP_DigestUpdate(whole, tail.data(), tail.size());
  unsigned char expected[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  EVP_DigestFinal_ex(whole, expected, &length);
  EVP_MD_CTX_free(whole);
  std::string hex;
  for (unsigned i = 0; i < length; ++i) {
    const unsigned char b = expected[i];
    static const char* d = "0123456789abcdef";
    hex += d[b >> 4];
    hex += d[b & 15];
  }
  EXPECT_EQ(req.bodySha1, hex);
}

}  // namespace
