#pragma once

// Runs the built tamsel binary (found through TAMSEL_CLI) in a scratch directory and captures
// its exit code, stdout and stderr.

#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <nlohmann/json.hpp>
#include <stdexcept>
#include <string>
#include <vector>

extern char** environ;

namespace tamsel::clitest {

using Json = nlohmann::ordered_json;

struct Result {
  int code = -1;
  std::string out;
  std::string err;
  Json json() const { return Json::parse(out); }
};

inline std::string Slurp(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void WriteFile(const std::filesystem::path& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

// Starts a program with stdout appended to `out` and, where named, stdin from `in` and stderr
// to `err`.
inline pid_t Spawn(std::vector<std::string> args, const std::string& out,
                   const std::string& in = "", const std::string& err = "") {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
  if (!in.empty()) posix_spawn_file_actions_addopen(&actions, 0, in.c_str(), O_RDONLY, 0);
  if (!err.empty())
    posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  std::vector<char*> argv;
  for (auto& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  pid_t pid = 0;
  const int rc = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) throw std::runtime_error("cannot start " + args[0]);
  return pid;
}

// The exit code; a signal (abort, crash, kill) shows as 128 + its number, which no command uses.
inline int Wait(pid_t pid) {
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

class CliTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* binary = std::getenv("TAMSEL_CLI");
    ASSERT_NE(binary, nullptr) << "TAMSEL_CLI names the tamsel binary";
    binary_ = binary;
    // The tool speaks the language of the environment: rows choose theirs, none inherits it.
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG", "LANGUAGE"}) unsetenv(name);
    std::string pattern = (std::filesystem::temp_directory_path() / "tamsel-cli-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
  }
  void TearDown() override {
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
  }

  std::string Path(const std::string& name) const { return (dir_ / name).string(); }

  // Runs tamsel with the arguments, in the scratch directory, stdin from `input`.
  Result Run(const std::vector<std::string>& args, const std::string& input = "") {
    WriteFile(dir_ / "stdin", input);
    const std::string in = Path("stdin"), out = Path("stdout"), err = Path("stderr");
    std::vector<std::string> argv = {binary_};
    argv.insert(argv.end(), args.begin(), args.end());
    std::filesystem::remove(out);
    // posix_spawn has no working-directory action in this libc: change it around the call.
    const std::filesystem::path previous = std::filesystem::current_path();
    std::filesystem::current_path(dir_);
    const pid_t pid = Spawn(argv, out, in, err);
    std::filesystem::current_path(previous);
    Result result;
    result.code = Wait(pid);
    result.out = Slurp(out);
    result.err = Slurp(err);
    return result;
  }

  // Runs tamsel with --json and the database added; the JSON it printed, Null on failure.
  Json RunJson(std::vector<std::string> args, const std::string& db,
               const std::string& input = "") {
    args.insert(args.end(), {"--db", db, "--json"});
    const Result r = Run(args, input);
    EXPECT_EQ(r.code, 0) << r.err;
    return r.code == 0 ? r.json() : Json();
  }

  // A fresh demo database in the scratch directory; its path.
  std::string DemoDb(const std::string& name = "demo.db") {
    const std::string path = Path(name);
    const Result r = Run({"init", "--db", path, "--demo-data"});
    EXPECT_EQ(r.code, 0) << r.err;
    return path;
  }

  std::string binary_;
  std::filesystem::path dir_;
};

}  // namespace tamsel::clitest
