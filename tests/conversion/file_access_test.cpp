#include "conversion/file_access.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include <gtest/gtest.h>

namespace ombrelk {
namespace {

namespace fs = std::filesystem;

// A fresh directory per test, removed afterwards.
class FileAccessTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "ombrelk-file-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
  }
  void TearDown() override {
    InjectFileFault(FileOperation::kRead, 0, 0);
    InjectFileFault(FileOperation::kWrite, 0, 0);
    std::error_code ignored;
    fs::permissions(dir_ / "ro", fs::perms::owner_all, ignored);
    fs::remove_all(dir_, ignored);
  }
  std::string Write(const std::string& name, const std::string& bytes) {
    std::string path = (dir_ / name).string();
    std::ofstream(path, std::ios::binary) << bytes;
    return path;
  }
  static std::string Contents(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  fs::path dir_;
};

TEST_F(FileAccessTest, OpenFailuresGiveTheSystemsReason) {
  struct Case {
    const char* name;
    std::string path;
    int code;
    std::string reason;
  };
  const Case cases[] = {
      {"missing", (dir_ / "missing.json").string(), ENOENT, "No such file or directory"},
      {"directory", dir_.string(), EISDIR, "Is a directory"},
      {"empty path", "", ENOENT, "No such file or directory"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FileError error;
    EXPECT_EQ(OpenFile(c.path, FileMode::kRead, &error), kInvalidFile);
    EXPECT_EQ(error.code, c.code);
    EXPECT_EQ(error.Reason(), c.reason);
  }
}

TEST_F(FileAccessTest, FifoInputFailsInsteadOfWaitingForAWriter) {
  std::string path = (dir_ / "pipe").string();
  ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
  FileError error;
  EXPECT_EQ(OpenFile(path, FileMode::kRead, &error), kInvalidFile);
  EXPECT_EQ(error.code, EINVAL);
  EXPECT_EQ(error.Reason(), "not a regular file");
}

// Root opens anything whatever its mode, so the test checks what holds for
// everyone: a 0444 file in a 0555 folder opens for reading, reads, and the
// handle refuses writes (it was opened read-only).
TEST_F(FileAccessTest, ReadOnlyInputOpensReadOnly) {
  fs::create_directory(dir_ / "ro");
  std::string path = (dir_ / "ro" / "in.json").string();
  std::ofstream(path, std::ios::binary) << "{}\r\n";
  ASSERT_EQ(::chmod(path.c_str(), 0444), 0);
  ASSERT_EQ(::chmod((dir_ / "ro").c_str(), 0555), 0);

  FileError error;
  FileHandle file = OpenFile(path, FileMode::kRead, &error);
  ASSERT_NE(file, kInvalidFile) << error.Reason();
  char bytes[8];
  EXPECT_EQ(ReadBytes(file, bytes, sizeof bytes), 4);
  EXPECT_FALSE(WriteBytes(file, "x", 1, &error));
  EXPECT_EQ(error.code, EBADF);
  EXPECT_TRUE(CloseFile(file));
  EXPECT_EQ(Contents(path), "{}\r\n");
}

TEST_F(FileAccessTest, InputLockKeepsAWriterOutAndIsKeptOutByOne) {
  std::string path = Write("in.json", "{}\r\n");
  // A cooperating writer: its own open file description, so flock conflicts
  // with ours even inside one process.
  int writer = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
  ASSERT_GE(writer, 0);

  FileHandle file = OpenFile(path);
  ASSERT_NE(file, kInvalidFile);
  EXPECT_NE(::flock(writer, LOCK_EX | LOCK_NB), 0) << "the shared lock must keep a writer out";
  EXPECT_EQ(errno, EWOULDBLOCK);
  ASSERT_TRUE(CloseFile(file));

  // Now the writer holds the file: opening fails at once with a clear reason.
  ASSERT_EQ(::flock(writer, LOCK_EX | LOCK_NB), 0);
  FileError error;
  EXPECT_EQ(OpenFile(path, FileMode::kRead, &error), kInvalidFile);
  EXPECT_EQ(error.code, EWOULDBLOCK);
  EXPECT_EQ(error.Reason(), "the file is locked by another program");

  // Two readers share the file.
  ASSERT_EQ(::flock(writer, LOCK_SH), 0);
  file = OpenFile(path);
  EXPECT_NE(file, kInvalidFile);
  CloseFile(file);
  ::close(writer);
}

TEST_F(FileAccessTest, CreateEmptyFileTruncatesOrCreatesWithUmask) {
  std::string existing = Write("out.csv", std::string(100000, 'x'));
  EXPECT_TRUE(CreateEmptyFile(existing));
  EXPECT_EQ(fs::file_size(existing), 0u);

  mode_t old_mask = ::umask(027);
  std::string fresh = (dir_ / "new.csv").string();
  bool created = CreateEmptyFile(fresh);
  ::umask(old_mask);
  ASSERT_TRUE(created);
  struct stat info;
  ASSERT_EQ(::stat(fresh.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0640u);
  EXPECT_EQ(info.st_size, 0);

  FileError error;
  EXPECT_FALSE(CreateEmptyFile((dir_ / "no" / "such.csv").string(), &error));
  EXPECT_EQ(error.code, ENOENT);
  EXPECT_FALSE(CreateEmptyFile("", &error));
}

TEST_F(FileAccessTest, WriteAppendsAtThePositionAndReadStopsAtTheEnd) {
  std::string path = (dir_ / "out.csv").string();
  ASSERT_TRUE(CreateEmptyFile(path));
  FileHandle out = OpenFile(path, FileMode::kWrite);
  ASSERT_NE(out, kInvalidFile);
  EXPECT_TRUE(WriteBytes(out, "abc", 3));
  EXPECT_TRUE(WriteBytes(out, "", 0));
  EXPECT_TRUE(WriteBytes(out, "defghij", 7));
  EXPECT_TRUE(CloseFile(out));
  EXPECT_EQ(Contents(path), "abcdefghij");

  FileHandle in = OpenFile(path);
  ASSERT_NE(in, kInvalidFile);
  EXPECT_EQ(GetFileLength(in), 10);
  char bytes[16];
  EXPECT_EQ(SeekFile(in, 7), 7);
  EXPECT_EQ(ReadBytes(in, bytes, 10), 3);  // 3 before the end, asked for 10
  EXPECT_EQ(std::string(bytes, 3), "hij");
  EXPECT_EQ(ReadBytes(in, bytes, 10), 0);  // at the end
  RewindFile(in);
  EXPECT_EQ(ReadBytes(in, bytes, 2), 2);
  EXPECT_EQ(std::string(bytes, 2), "ab");
  EXPECT_EQ(SeekFile(in, -1), -1);
  CloseFile(in);
}

TEST_F(FileAccessTest, BadHandleFailsEveryCall) {
  FileError error;
  char byte;
  EXPECT_EQ(GetFileLength(kInvalidFile, &error), 0);
  EXPECT_EQ(error.code, EBADF);
  EXPECT_EQ(SeekFile(kInvalidFile, 0), -1);
  EXPECT_EQ(ReadBytes(kInvalidFile, &byte, 1, &error), -1);
  EXPECT_EQ(error.code, EBADF);
  EXPECT_FALSE(WriteBytes(kInvalidFile, "x", 1, &error));
  EXPECT_TRUE(CloseFile(kInvalidFile));
}

TEST_F(FileAccessTest, DevFullThroughASymlinkIsAFullDisk) {
  if (!fs::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
  std::string path = (dir_ / "out.csv").string();
  fs::create_symlink("/dev/full", path);
  ASSERT_TRUE(CreateEmptyFile(path));  // truncating a device is a no-op
  FileHandle out = OpenFile(path, FileMode::kWrite);
  ASSERT_NE(out, kInvalidFile);
  FileError error;
  EXPECT_FALSE(WriteBytes(out, "row\r\n", 5, &error));
  EXPECT_EQ(error.code, ENOSPC);
  EXPECT_EQ(error.Reason(), "No space left on device");
  CloseFile(out);
}

TEST_F(FileAccessTest, InjectedFaultHitsTheNthCallOnly) {
  std::string path = (dir_ / "out.csv").string();
  ASSERT_TRUE(CreateEmptyFile(path));
  FileHandle out = OpenFile(path, FileMode::kWrite);
  ASSERT_NE(out, kInvalidFile);
  InjectFileFault(FileOperation::kWrite, 2, ENOSPC);
  FileError error;
  EXPECT_TRUE(WriteBytes(out, "a", 1));
  EXPECT_FALSE(WriteBytes(out, "b", 1, &error));
  EXPECT_EQ(error.code, ENOSPC);
  EXPECT_TRUE(WriteBytes(out, "c", 1));
  CloseFile(out);
  EXPECT_EQ(Contents(path), "ac");

  FileHandle in = OpenFile(path);
  ASSERT_NE(in, kInvalidFile);
  InjectFileFault(FileOperation::kRead, 1, EIO);
  char bytes[2];
  EXPECT_EQ(ReadBytes(in, bytes, 2, &error), -1);
  EXPECT_EQ(error.code, EIO);
  EXPECT_EQ(ReadBytes(in, bytes, 2), 2);
  CloseFile(in);
}

}  // namespace
}  // namespace ombrelk
