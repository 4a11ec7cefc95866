#include "oauth2/nxoauth2_post_body_stream.h"

#include <gtest/gtest.h>

#include <fstream>
#include <regex>

#include "oauth2/nxoauth2_log.h"
#include "tests/platform/net/test_http_server.h"

using namespace nxoauth2;
using igbtest::TempDir;

namespace {

std::string readAll(NXOAuth2PostBodyStream& s, size_t chunk) {
  s.open();
  std::string out;
  std::vector<uint8_t> buf(chunk);
  for (;;) {
    const int64_t n = s.read(buf.data(), buf.size());
    if (n < 0) return "<error>";
    if (n == 0) break;
    out.append(reinterpret_cast<const char*>(buf.data()), static_cast<size_t>(n));
  }
  return out;
}

TEST(PostBodyStreamTest, OneStringParameterIsLaidOutByteForByte) {
  NXOAuth2PostBodyStream s(NXOAuth2Parameters{{"grant_type", "password"}});
  const std::string b = s.boundary();
  const std::string expected = "--" + b +
                               "\r\n"
                               "Content-Disposition: form-data; name=\"grant_type\"\r\n"
                               "\r\n"
                               "password"
                               "\r\n--" +
                               b + "--\r\n";
  EXPECT_EQ(readAll(s, 4096), expected);
  EXPECT_EQ(s.length(), expected.size());
}

TEST(PostBodyStreamTest, EveryKindOfValueHasItsPartInOrder) {
  TempDir dir;
  const auto file = dir.path() / "My Track.wav";
  const std::string audio = std::string("RIFF\0\0\0\0WAVE", 12) + std::string(5000, '\x7f');
  std::ofstream(file, std::ios::binary) << audio;
  auto wrapped = NXOAuth2FileStreamWrapper::wrapperWithStream(
      std::make_shared<platform::DataInputStream>(platform::Data{'s', 't', 'r'}), 3, "cover.png");
  NXOAuth2Parameters p{
      {"track[title]", "Bounce \xE2\x99\xAA"},
      {"track[bpm]", 120},
      {"track[tag_list]", std::vector<NXOAuth2ParameterValue>{"a", "b", "c"}},
      {"track[asset_data]", platform::URL::fileURLWithPath(file)},
      {"blob", platform::Data{0, 1, 2}},
      {"track[artwork_data]", wrapped},
      {"ignored", *platform::URL::withString("https://example.invalid/not-a-file")},
  };
  NXOAuth2PostBodyStream s(p);
  const std::string body = readAll(s, 777);
  EXPECT_EQ(body.size(), s.length());
  auto parts = igbtest::parseMultipart(body, s.boundary());
  ASSERT_TRUE(parts);
  ASSERT_EQ(parts->size(), 8u);
  const std::string disposition = "Content-Disposition: form-data; name=\"";
  const std::string binary = "Content-Transfer-Encoding: binary\r\nContent-Type: application/octet-stream\r\n\r\n";
  EXPECT_EQ((*parts)[0].headerBlock, disposition + "track[title]\"\r\n\r\n");
  EXPECT_EQ((*parts)[0].content, "Bounce \xE2\x99\xAA");
  EXPECT_EQ((*parts)[1].content, "120");
  for (int i = 2; i < 5; ++i) EXPECT_EQ((*parts)[i].name, "track[tag_list]");
  EXPECT_EQ((*parts)[2].content + (*parts)[3].content + (*parts)[4].content, "abc");
  EXPECT_EQ((*parts)[5].headerBlock, disposition + "track[asset_data]\"; filename=\"My Track.wav\"\r\n" + binary);
  EXPECT_EQ((*parts)[5].content, audio);
  EXPECT_EQ((*parts)[6].headerBlock, disposition + "blob\"; filename=\"unknown\"\r\n" + binary);
  EXPECT_EQ((*parts)[6].content, std::string("\0\1\2", 3));
  EXPECT_EQ((*parts)[7].headerBlock, disposition + "track[artwork_data]\"; filename=\"cover.png\"\r\n" + binary);
  EXPECT_EQ((*parts)[7].content, "str");
}

TEST(PostBodyStreamTest, QuotesAndLineBreaksInNamesArePercentEncoded) {
  TempDir dir;
  enum class Kind { String, File, Stream, Data };
  const struct Case {
    const char* label;
    Kind kind;
    std::string name;
    std::string fileName;  // of the file or stream; unused for strings and data
    std::string shownName;
    std::string shownFileName;
  } cases[] = {
      {"quote in a name", Kind::String, "track[\"title\"]", "", "track[%22title%22]", ""},
      {"header in a name", Kind::String, "x\r\nContent-Type: text/html", "", "x%0D%0AContent-Type: text/html", ""},
      {"end of headers in a name", Kind::Data, "a\r\n\r\nb", "", "a%0D%0A%0D%0Ab", "unknown"},
      {"quote and line break in a file's name", Kind::File, "track[asset_data]", "say \"hi\"\n.wav",
       "track[asset_data]", "say %22hi%22%0A.wav"},
      {"carriage return in a stream's name", Kind::Stream, "art\"", "c\r.png", "art%22", "c%0D.png"},
      {"percent and UTF-8 stay", Kind::File, "t", "100% Bounce \xE2\x99\xAA.wav", "t", "100% Bounce \xE2\x99\xAA.wav"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    const std::string content = "content\r\n\r\nof " + std::string(c.label);
    NXOAuth2ParameterValue value = content;
    switch (c.kind) {
      case Kind::String: break;
      case Kind::File: {
        const auto file = dir.path() / c.fileName;
        std::ofstream(file, std::ios::binary) << content;
        value = platform::URL::fileURLWithPath(file);
        break;
      }
      case Kind::Stream:
        value = NXOAuth2FileStreamWrapper::wrapperWithStream(
            std::make_shared<platform::DataInputStream>(platform::Data(content.begin(), content.end())),
            content.size(), c.fileName);
        break;
      case Kind::Data: value = platform::Data(content.begin(), content.end()); break;
    }
    // A second, plain part after the hostile one must still be found.
    NXOAuth2PostBodyStream s(NXOAuth2Parameters{{c.name, value}, {"zz_after", "last"}});
    const std::string body = readAll(s, 4096);
    EXPECT_EQ(body.size(), s.length());
    auto parts = igbtest::parseMultipart(body, s.boundary());
    ASSERT_TRUE(parts);
    ASSERT_EQ(parts->size(), 2u);
    const std::string disposition = "Content-Disposition: form-data; name=\"" + c.shownName + "\"";
    if (c.kind == Kind::String) {
      EXPECT_EQ((*parts)[0].headerBlock, disposition + "\r\n\r\n");
    } else {
      EXPECT_EQ((*parts)[0].headerBlock, disposition + "; filename=\"" + c.shownFileName +
                                             "\"\r\nContent-Transfer-Encoding: binary\r\n"
                                             "Content-Type: application/octet-stream\r\n\r\n");
    }
    EXPECT_EQ((*parts)[0].content, content);
    EXPECT_EQ((*parts)[1].name, "zz_after");
    EXPECT_EQ((*parts)[1].content, "last");
  }
}

TEST(PostBodyStreamTest, TinyReadsGiveTheSameBody) {
  const NXOAuth2Parameters p{{"a", "1"}, {"b", platform::Data(3000, 9)}, {"c", "three"}};
  NXOAuth2PostBodyStream one(p);
  const std::string small = readAll(one, 1);
  EXPECT_EQ(small.size(), one.length());
  // Same layout in a second stream of the same parameters, boundary aside.
  NXOAuth2PostBodyStream two(p);
  std::string big = readAll(two, 1 << 20);
  ASSERT_EQ(big.size(), small.size());
  EXPECT_NE(one.boundary(), two.boundary());
  const size_t at = big.find(two.boundary());
  while (big.find(two.boundary()) != std::string::npos) big.replace(big.find(two.boundary()), two.boundary().size(), one.boundary());
  EXPECT_EQ(at, 2u);
  EXPECT_EQ(big, small);
}

TEST(PostBodyStreamTest, EmptyAndAbsentParameters) {
  NXOAuth2PostBodyStream empty{NXOAuth2Parameters{}};
  EXPECT_EQ(readAll(empty, 64), "--" + empty.boundary() + "--\r\n");
  EXPECT_EQ(empty.length(), empty.boundary().size() + 6);
  NXOAuth2PostBodyStream none{std::nullopt};
  EXPECT_EQ(none.length(), 0u);
  EXPECT_EQ(readAll(none, 64), "");
}

TEST(PostBodyStreamTest, BoundariesAreRandomDigitsAfterTheFixedPrefix) {
  const std::regex shape("^------------nx-oauth2[0-9]{40}$");
  std::set<std::string> seen;
  for (int i = 0; i < 50; ++i) {
    NXOAuth2PostBodyStream s{NXOAuth2Parameters{}};
    EXPECT_TRUE(std::regex_match(s.boundary(), shape)) << s.boundary();
    EXPECT_LE(s.boundary().size(), 70u);  // RFC 2046's limit
    seen.insert(s.boundary());
  }
  EXPECT_EQ(seen.size(), 50u);
}

TEST(PostBodyStreamTest, AnUnreadableFileFailsTheReadWithItsError) {
  NXOAuth2PostBodyStream s(NXOAuth2Parameters{{"x", "1"}, {"f", platform::URL::fileURLWithPath("/nonexistent/igb.wav")}});
  s.open();
  std::vector<uint8_t> buf(4096);
  int64_t n;
  int64_t total = 0;
  while ((n = s.read(buf.data(), buf.size())) > 0) total += n;
  EXPECT_LT(n, 0);
  EXPECT_GT(total, 0);  // the pieces before the file were read
  ASSERT_TRUE(s.streamError());
  EXPECT_EQ(s.streamError()->code, ENOENT);
  EXPECT_EQ(s.streamStatus(), platform::StreamStatus::Error);
}

TEST(PostBodyStreamTest, StatusFollowsThePiecesAndAReopenedStreamIsEmpty) {
  NXOAuth2PostBodyStream s(NXOAuth2Parameters{{"a", "1"}});
  EXPECT_EQ(s.streamStatus(), platform::StreamStatus::NotOpen);
  EXPECT_TRUE(s.hasBytesAvailable());
  uint8_t* buffer = nullptr;
  size_t length = 0;
  EXPECT_FALSE(s.getBuffer(&buffer, &length));
  s.open();
  std::vector<uint8_t> buf(1);
  ASSERT_EQ(s.read(buf.data(), 1), 1);
  EXPECT_EQ(s.streamStatus(), platform::StreamStatus::Open);
  while (s.read(buf.data(), 1) > 0) {
  }
  EXPECT_EQ(s.streamStatus(), platform::StreamStatus::NotOpen);  // no current piece after the end
  s.close();
  std::vector<std::string> log;
  auto old = setNXOAuth2LogSink([&](const std::string& line) { log.push_back(line); });
  s.open();
  setNXOAuth2LogSink(old);
  EXPECT_EQ(s.read(buf.data(), 1), 0);
  ASSERT_EQ(log.size(), 1u);
  EXPECT_EQ(log[0], "-[NXOAuth2PostBodyStream open] Stream has been reopened after close");
}

TEST(PostBodyStreamTest, PartsOfValuesWithoutAPartForm) {
  EXPECT_FALSE(NXOAuth2PostBodyPart::partWithName("u", *platform::URL::withString("https://h/x")));
  EXPECT_FALSE(NXOAuth2PostBodyPart::partWithName("a", std::vector<NXOAuth2ParameterValue>{"x"}));
  auto part = NXOAuth2PostBodyPart::partWithName("n", 2.5);
  ASSERT_TRUE(part);
  EXPECT_EQ(part->contentLength(), 3u);
  EXPECT_EQ(NXOAuth2FileStreamWrapper::wrapperWithStream(nullptr, 3), nullptr);
  EXPECT_EQ(NXOAuth2FileStreamWrapper::wrapperWithStream(std::make_shared<platform::DataInputStream>(platform::Data{}), 0)
                ->fileName(),
            "unknown");
}

}  // namespace
