// What both tools leave on the disk when a write fails, is interrupted or
// meets a link: every output is written whole or not at all, the user's
// files keep their bytes, and nothing is written through a link.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "support/test_support.h"
#include "tool_run.h"

namespace {

namespace fs = std::filesystem;
using test_support::ScratchDir;
using namespace tool_run;

std::vector<std::string> names_in(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(folder)) names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

// The size of the first ".NAME.XXXXXX.part" file in folder, -1 when none.
long long temporary_file_size(const std::string& folder, const std::string& name) {
  for (const std::string& n : names_in(folder)) {
    if (n.rfind("." + name + ".", 0) == 0 && n.size() > 5 && n.substr(n.size() - 5) == ".part")
      return (long long)fs::file_size(fs::path(folder) / n);
  }
  return -1;
}

struct Started {
  pid_t pid;
  std::string err_path;  // where its stderr goes, unless stderr_fd was given
};

// Starts program with args; stdout to stdout_fd (or /dev/null), stderr to
// stderr_fd (or a file in dir), files limited to file_limit bytes when not 0.
Started start(const std::vector<std::string>& command, const ScratchDir& dir, int stdout_fd = -1,
              int stderr_fd = -1, rlim_t file_limit = 0) {
  Started s{-1, dir.at("stderr.txt")};
  s.pid = fork();
  if (s.pid == 0) {
    int out = stdout_fd >= 0 ? stdout_fd : open("/dev/null", O_WRONLY);
    int err = stderr_fd >= 0 ? stderr_fd : open(s.err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    dup2(out, 1);
    dup2(err, 2);
    if (file_limit) {
      struct rlimit limit = {file_limit, file_limit};
      setrlimit(RLIMIT_FSIZE, &limit);
    }
    std::vector<char*> argv;
    std::vector<std::string> copy = command;
    for (std::string& a : copy) argv.push_back(&a[0]);
    argv.push_back(nullptr);
    execv(argv[0], argv.data());
    _exit(127);
  }
  return s;
}

// Exit status, or -signal when a signal ended it; a tool still running
// after a minute is killed.
int finish(const Started& s) {
  int raw = 0;
  pid_t ended = 0;
  for (int i = 0; i < 60000 && (ended = waitpid(s.pid, &raw, WNOHANG)) == 0; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  if (ended == 0) {
    kill(s.pid, SIGKILL);
    waitpid(s.pid, &raw, 0);
    ADD_FAILURE() << "the tool did not end";
  }
  return WIFEXITED(raw) ? WEXITSTATUS(raw) : -WTERMSIG(raw);
}

// Waits until the tool's temporary file for name holds at least bytes.
bool wait_for_temporary_file(const std::string& folder, const std::string& name, long long bytes) {
  for (int i = 0; i < 20000; ++i) {
    if (temporary_file_size(folder, name) >= bytes) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return false;
}

// A small disc source and its image: files of 1,000, 2,000 and 600,000
// bytes, in that order on the disc.
struct Disc {
  ScratchDir dir;
  std::string base = dir.at("base"), image = dir.at("disc.gcm");

  Disc() {
    test_support::write_patterned_file(base + "/a.bin", 1000, 1);
    test_support::write_patterned_file(base + "/b.bin", 2000, 2);
    test_support::write_patterned_file(base + "/c.bin", 600000, 3);
    ToolRun r = run_program(TRELVIK_CLI_PATH, with_output(image));
    EXPECT_EQ(r.status, 0) << r.err;
  }

  std::vector<std::string> with_output(const std::string& output) const {
    return {"--game-id", "GSO", "--game-name", "Safe Output", "--maker-id", "01", "--region", "usa",
            "--apploader", SAMPLES_DIR "/apploader.img", "--main-program", SAMPLES_DIR "/main.dol",
            "--base-dir", base, "--output", output, "--no-maximise"};
  }
};

std::vector<std::string> tool(const char* program, std::vector<std::string> args) {
  args.insert(args.begin(), program);
  return args;
}

const std::vector<uint8_t> PREVIOUS = test_support::patterned_bytes(70000, 9);

// Interrupted once its first log line is out: stdout is a pipe with room for
// that line only, so the tool waits in its second, the image's header
// written to its temporary file. Whatever the signal, the temporary file goes
// and the previous image stays.
TEST(TrelvikCliOutputs, AnInterruptedBuildLeavesThePreviousImage) {
  Disc disc;
  for (int sig : {SIGINT, SIGTERM, SIGHUP}) {
    ScratchDir dir;
    const std::string out = dir.at("keep.gcm");
    test_support::write_file(out, PREVIOUS);
    int pipe_fds[2];
    ASSERT_EQ(pipe(pipe_fds), 0);
    ASSERT_EQ(fcntl(pipe_fds[1], F_SETPIPE_SZ, 4096), 4096);
    const std::string filler(4096 - 40, 'x');
    ASSERT_EQ(write(pipe_fds[1], filler.data(), filler.size()), ssize_t(filler.size()));
    Started s = start(tool(TRELVIK_CLI_PATH, disc.with_output(out)), dir, pipe_fds[1]);
    close(pipe_fds[1]);
    EXPECT_TRUE(wait_for_temporary_file(dir.path().string(), "keep.gcm", 0x440)) << sig;
    kill(s.pid, sig);
    EXPECT_EQ(finish(s), 128 + sig);
    close(pipe_fds[0]);
    EXPECT_EQ(test_support::read_file(out), PREVIOUS) << sig;
    EXPECT_EQ(names_in(dir.path().string()), (std::vector<std::string>{"keep.gcm", "stderr.txt"}));
    EXPECT_TRUE(contains(read_text(s.err_path), "interrupted; the previous '" + out + "' is left as it was"))
        << read_text(s.err_path);
  }
}

// A build that fails before or during its write, a full disk (the file size
// limit) among the causes, leaves the previous image too.
TEST(TrelvikCliOutputs, AFailedBuildLeavesThePreviousImage) {
  Disc disc;
  const struct {
    const char* what;
    std::string base;
    rlim_t file_limit;
    const char* said;
  } cases[] = {{"missing base", disc.dir.at("missing"), 0, "cannot be entered"},
               {"full disk", disc.base, 100000, "writing the output image"}};
  for (const auto& c : cases) {
    ScratchDir dir;
    const std::string out = dir.at("keep.gcm");
    test_support::write_file(out, PREVIOUS);
    std::vector<std::string> args = disc.with_output(out);
    args[13] = c.base;  // --base-dir's value
    Started s = start(tool(TRELVIK_CLI_PATH, args), dir, -1, -1, c.file_limit);
    EXPECT_EQ(finish(s), 1) << c.what;
    const std::string err = read_text(s.err_path);
    EXPECT_TRUE(contains(err, c.said)) << err;
    EXPECT_TRUE(contains(err, "the previous '" + out + "' is left as it was")) << err;
    EXPECT_EQ(test_support::read_file(out), PREVIOUS) << c.what;
    EXPECT_EQ(names_in(dir.path().string()), (std::vector<std::string>{"keep.gcm", "stderr.txt"}));
  }
}

// An output that is a dangling link into the base directory would put the
// image among its own files: refused before anything is written.
TEST(TrelvikCliOutputs, AnOutputLinkedIntoTheBaseDirectoryIsRefused) {
  Disc disc;
  const std::string link = disc.dir.at("out.gcm");
  fs::create_symlink(disc.base + "/new.gcm", link);
  ToolRun r = run_program(TRELVIK_CLI_PATH, disc.with_output(link));
  EXPECT_EQ(r.status, 1);
  EXPECT_TRUE(contains(r.err, "lies inside the base directory")) << r.err;
  EXPECT_EQ(names_in(disc.base), (std::vector<std::string>{"a.bin", "b.bin", "c.bin"}));
  EXPECT_TRUE(fs::is_symlink(link));
}

// Interrupted at its first progress report: stderr is a terminal whose
// buffer is full, so the tool waits in drawing its bar with the copy under
// way. The file being written goes; the one it would replace stays.
TEST(OmbrelCliOutputs, AnInterruptedCopyLeavesTheDestinationAsItWas) {
  Disc disc;
  const struct {
    int sig;
    std::vector<std::string> args;  // the destination is appended
    const char* target;
    bool names_folder;  // the destination is the target's folder
  } cases[] = {{SIGINT, {"convert", "--overwrite", disc.image}, "out.gcm", false},
               {SIGHUP, {"extract", "--overwrite", disc.image, "/c.bin"}, "c.bin", true}};
  for (const auto& c : cases) {
    ScratchDir dir;
    const std::string target = dir.at(c.target);
    test_support::write_file(target, PREVIOUS);
    std::vector<std::string> args = c.args;
    args.push_back(c.names_folder ? dir.path().string() : target);
    int master = posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    ASSERT_EQ(grantpt(master), 0);
    ASSERT_EQ(unlockpt(master), 0);
    const std::string terminal = ptsname(master);
    int filler = open(terminal.c_str(), O_WRONLY | O_NOCTTY | O_NONBLOCK);
    int tool_err = open(terminal.c_str(), O_WRONLY | O_NOCTTY);
    ASSERT_GE(filler, 0);
    ASSERT_GE(tool_err, 0);
    for (size_t n : {size_t(1024), size_t(1)}) {
      const std::string bytes(n, 'x');
      while (write(filler, bytes.data(), n) > 0) {
      }
    }
    Started s = start(tool(OMBREL_CLI_PATH, args), dir, -1, tool_err);
    close(tool_err);
    EXPECT_TRUE(wait_for_temporary_file(dir.path().string(), c.target, 1)) << c.target;
    kill(s.pid, c.sig);
    EXPECT_EQ(finish(s), 128 + c.sig) << c.target;
    close(filler);
    close(master);
    EXPECT_EQ(test_support::read_file(target), PREVIOUS) << c.target;
    EXPECT_EQ(names_in(dir.path().string()), std::vector<std::string>{c.target});
  }
}

// A copy that fails, on a full disk (the file size limit) or on a read error
// half-way (an image cut inside its last file), leaves the file it would
// replace and no cut file; a folder extraction keeps the files finished
// before the failure.
TEST(OmbrelCliOutputs, AFailedCopyLeavesTheDestinationAsItWas) {
  Disc disc;
  const std::string cut = disc.dir.at("cut.gcm");
  std::vector<uint8_t> bytes = test_support::read_file(disc.image);
  bytes.resize(bytes.size() - 300000);
  test_support::write_file(cut, bytes);
  const struct {
    const char* what;
    std::vector<std::string> args;  // the destination folder is appended
    rlim_t file_limit;
    std::vector<std::string> left;  // besides the previous c.bin
  } cases[] = {
      {"convert on a full disk", {"convert", "--overwrite", disc.image}, 100000, {}},
      {"extraction on a full disk", {"extract", "--overwrite", disc.image, "/"}, 100000, {"a.bin", "b.bin"}},
      {"extraction of a cut image", {"extract", "--overwrite", cut, "/"}, 0, {"a.bin", "b.bin"}},
  };
  for (const auto& c : cases) {
    ScratchDir dir;
    const std::string out = dir.at("out");
    fs::create_directories(out);
    const std::string previous = c.args[0] == std::string("convert") ? "c.gcm" : "c.bin";
    test_support::write_file(out + "/" + previous, PREVIOUS);
    std::vector<std::string> args = c.args;
    args.push_back(previous == "c.gcm" ? out + "/c.gcm" : out);
    Started s = start(tool(OMBREL_CLI_PATH, args), dir, -1, -1, c.file_limit);
    EXPECT_EQ(finish(s), 1) << c.what;
    EXPECT_EQ(test_support::read_file(out + "/" + previous), PREVIOUS) << c.what;
    std::vector<std::string> left = c.left;
    left.push_back(previous);
    std::sort(left.begin(), left.end());
    EXPECT_EQ(names_in(out), left) << c.what << ": " << read_text(s.err_path);
    if (!c.left.empty()) {
      EXPECT_EQ(test_support::read_file(out + "/b.bin"), test_support::patterned_bytes(2000, 2));
    }
  }
}

// Links inside the destination are never followed: a dangling one counts as
// existing, --overwrite replaces one by a file and refuses one where a folder
// goes, and what they point to stays as it was. The folder named on the
// command line may itself be a link.
TEST(OmbrelCliOutputs, LinksInTheDestinationAreNeverFollowed) {
  Disc disc;
  ScratchDir dir;
  const std::string elsewhere = dir.at("elsewhere");
  fs::create_directories(elsewhere);
  test_support::write_file(elsewhere + "/victim", PREVIOUS);

  fs::create_directories(dir.at("d"));
  fs::create_symlink(elsewhere + "/new.bin", dir.at("d/a.bin"));
  ToolRun r = run_program(OMBREL_CLI_PATH, {"extract", disc.image, "/", dir.at("d")});
  EXPECT_EQ(r.status, 1);
  EXPECT_TRUE(contains(r.err, "'" + dir.at("d/a.bin") + "' exists already")) << r.err;

  fs::create_directories(dir.at("u/sys"));
  fs::create_symlink(elsewhere + "/victim", dir.at("u/sys/boot.bin"));
  fs::create_directory_symlink(elsewhere, dir.at("u/files"));
  r = run_program(OMBREL_CLI_PATH, {"unpack", "--overwrite", disc.image, dir.at("u")});
  EXPECT_EQ(r.status, 1);
  EXPECT_TRUE(contains(r.err, "'" + dir.at("u/files") + "' is a link")) << r.err;
  fs::remove(dir.at("u/files"));
  r = run_program(OMBREL_CLI_PATH, {"unpack", "--overwrite", disc.image, dir.at("u")});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_FALSE(fs::is_symlink(dir.at("u/sys/boot.bin")));
  EXPECT_EQ(fs::file_size(dir.at("u/sys/boot.bin")), 0x440u);

  EXPECT_EQ(names_in(elsewhere), std::vector<std::string>{"victim"});
  EXPECT_EQ(test_support::read_file(elsewhere + "/victim"), PREVIOUS);

  fs::create_directory_symlink(elsewhere, dir.at("named"));
  r = run_program(OMBREL_CLI_PATH, {"extract", disc.image, "/b.bin", dir.at("named")});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(test_support::read_file(elsewhere + "/b.bin"), test_support::patterned_bytes(2000, 2));
}

}  // namespace
