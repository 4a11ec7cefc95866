#include <gtest/gtest.h>

#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "tools/json-check/json_check.h"

namespace {

using jsoncheck::Options;
using jsoncheck::Result;

Result check(std::string_view text, Options options = {}) {
  return jsoncheck::run(reinterpret_cast<const unsigned char*>(text.data()), text.size(), options, "doc.json");
}

TEST(JsonCheckTest, PrintsTheDocumentReserializedOrTheErrorWithItsPosition) {
  struct Case {
    const char* name;
    std::string input;
    Options options;
    int exitCode;
    std::string out;
    std::string err;
  };
  Options comments;
  comments.parseOptions = jk::JKParseOptionAllowComments;
  Options pretty;
  pretty.serializeOptions = jk::JKSerializeOptionPretty;
  Options escaped;
  escaped.serializeOptions = jk::JKSerializeOptionEscapeNonASCII | jk::JKSerializeOptionEscapeSlash;
  Options verify;
  verify.verify = true;
  Options mutableVerify;
  mutableVerify.verify = true;
  mutableVerify.mutableCollections = true;
  const Case cases[] = {
      {"compact", " [1, 2.5, \"x\"] ", {}, 0, "[1,2.5,\"x\"]\n", ""},
      {"pretty", "{\"b\":1,\"a\":2}", pretty, 0, "{\n  \"a\": 2,\n  \"b\": 1\n}\n", ""},
      {"escaped", "[\"\xC3\xA9/\"]", escaped, 0, "[\"\\u00e9\\/\"]\n", ""},
      {"comments need their option", "[1 /* c */]", {}, 1, "",
       "doc.json:1: error: Unexpected token, wanted '{', '}', '[', ']', ',', ':', 'true', 'false', 'null', "
       "'\"STRING\"', 'NUMBER'. (at byte 3)\n"},
      {"comments allowed", "[1 /* c */]", comments, 0, "[1]\n", ""},
      {"error with its line", "[1,\n2,\n]", {}, 1, "", "doc.json:3: error: Unexpected ']'. (at byte 8)\n"},
      {"empty input", "", {}, 1, "", "doc.json:1: error: Reached the end of the buffer. (at byte 0)\n"},
      {"verified", "{\"k\":[1,-0,1e300,\"\\u0001\",{\"n\":null}]}", verify, 0,
       "{\"k\":[1,-0,1.0000000000000001e+300,\"\\u0001\",{\"n\":null}]}\n", ""},
      {"verified mutable", "[[],{}]", mutableVerify, 0, "[[],{}]\n", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Result r = check(c.input, c.options);
    EXPECT_EQ(r.exitCode, c.exitCode);
    EXPECT_EQ(r.out, c.out);
    EXPECT_EQ(r.err, c.err);
  }
}

Result commandLine(std::vector<const char*> args, std::string_view standardInput = {}) {
  args.insert(args.begin(), "json-check");
  return jsoncheck::runCommandLine(static_cast<int>(args.size()), args.data(), standardInput);
}

class JsonCheckFilesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/json-check-test.XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }

  std::string write(const std::string& name, const std::string& contents) {
    const std::string path = dir_ + "/" + name;
    std::ofstream(path, std::ios::binary) << contents;
    return path;
  }

  std::string read(const std::string& name) {
    std::ifstream in(dir_ + "/" + name, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
  }

  std::string dir_;
};

TEST_F(JsonCheckFilesTest, CommandLineOptionsReachTheCodec) {
  const std::string file = write("trailing.json", "{\"a\":\"\xC3\xA9\"} trailing");
  Result r = commandLine({file.c_str()});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_EQ(r.err, file +
                       ":1: error: A valid JSON object was parsed but there were additional non-white-space "
                       "characters remaining. (at byte 11)\n");
  r = commandLine({"-t", "-a", "--pretty", file.c_str()});
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.out, "{\n  \"a\": \"\\u00e9\"\n}\n");
  r = commandLine({"--parse-options=8", "--verify", file.c_str()});
  EXPECT_EQ(r.exitCode, 0) << r.err;

  r = commandLine({"-r", "-"}, "[\"\xFF\"]");
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.out, "[\"\xEF\xBF\xBD\"]\n");
  r = commandLine({"-"}, "[\"\xFF\"]");
  EXPECT_EQ(r.err, "<stdin>:1: error: Illegal UTF8 sequence found in \"\" string. (at byte 1)\n");
}

TEST_F(JsonCheckFilesTest, MisuseExitsWithTwo) {
  EXPECT_EQ(commandLine({}).exitCode, 2);
  Result r = commandLine({"--parse-options=16", "-"}, "[]");
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_EQ(r.err, "json-check: Invalid parse options.\n");
  r = commandLine({"--frobnicate", "x"});
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_EQ(r.err.rfind("json-check: unknown option --frobnicate\n", 0), 0u);
  r = commandLine({(dir_ + "/missing.json").c_str()});
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_EQ(r.err, "json-check: cannot read " + dir_ + "/missing.json: No such file or directory\n");
  r = commandLine({"a.json", "b.json"});
  EXPECT_EQ(r.exitCode, 2);
  r = commandLine({"--help"});
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.out, jsoncheck::usage());
}

TEST_F(JsonCheckFilesTest, TheProgramPrintsAndExitsAsItsCoreSays) {
  const std::string good = write("good.json", "// tracks\n[{\"id\": 4294967296123}]");
  const std::string bad = write("bad.json", "[1 2]");
  auto runProgram = [&](const std::string& args) {
    const std::string command =
        std::string(JSON_CHECK_PATH) + " " + args + " > " + dir_ + "/out 2> " + dir_ + "/err";
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  };
  EXPECT_EQ(runProgram("--allow-comments " + good), 0);
  EXPECT_EQ(read("out"), "[{\"id\":4294967296123}]\n");
  EXPECT_EQ(read("err"), "");
  EXPECT_EQ(runProgram(bad), 1);
  EXPECT_EQ(read("out"), "");
  EXPECT_EQ(read("err"), bad + ":1: error: Unexpected value. (at byte 4)\n");
  EXPECT_EQ(runProgram("- < " + good), 1) << "comments are refused without their option";
  EXPECT_EQ(runProgram("-c - < " + good), 0);
  EXPECT_EQ(read("out"), "[{\"id\":4294967296123}]\n");
}

}  // namespace
