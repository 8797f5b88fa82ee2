#include "conversion/block_reader.h"

#include <fcntl.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace ombrelk {
namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;  // "\0" inside a case needs ""s

class BlockReaderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "ombrelk-blocks-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
  }
  void TearDown() override {
    InjectFileFault(FileOperation::kRead, 0, 0);
    for (FileHandle file : open_) CloseFile(file);
    std::error_code ignored;
    fs::remove_all(dir_, ignored);
  }
  std::string PathOf(const std::string& name) { return (dir_ / name).string(); }
  FileHandle Open(const std::string& name, const std::string& bytes) {
    std::ofstream(PathOf(name), std::ios::binary) << bytes;
    FileHandle file = OpenFile(PathOf(name));
    open_.push_back(file);
    return file;
  }
  fs::path dir_;
  std::vector<FileHandle> open_;
};

// Every block of `plan`, read in order by one reader: the lines of the whole
// file, with "!" before each line the reader marked as holding a NUL.
std::vector<std::string> ReadAll(FileHandle file, const BlockPlan& plan) {
  std::vector<std::string> all;
  BlockReader reader;
  for (const std::string& block : plan.blocks) {
    int64_t start, end;
    EXPECT_TRUE(ParseBlockRange(block, start, end)) << block;
    FileError error;
    EXPECT_GE(reader.ReadBlockLines(file, start, end, plan.line_end, &error), 1) << error.Reason();
    for (const Line& line : reader.lines()) {
      all.push_back((line.has_nul ? "!" : "") + std::string(line.text));
    }
  }
  return all;
}

struct PlanCase {
  const char* name;
  std::string input;
  int64_t block_size;
  int64_t search_window;
  std::vector<std::string> plan;
  LineEnd line_end;
  std::vector<std::string> lines;
};

void PrintTo(const PlanCase& c, std::ostream* out) { *out << c.name; }

const std::string kLongLine(20, 'x');

const PlanCase kPlanCases[] = {
    {"smaller than a block", "a\r\nb\r\n", 100, 100, {"0,6"}, LineEnd::kCrLf, {"a", "b"}},
    {"exactly one block", "ab\r\ncd\r\n", 8, 4, {"0,8"}, LineEnd::kCrLf, {"ab", "cd"}},
    // Block one takes 6 bytes and the rest of the line crossing offset 6.
    {"block plus some lines", "aaa\r\nbbb\r\nccc\r\nddd\r\n", 6, 4, {"0,10", "10,20"},
     LineEnd::kCrLf, {"aaa", "bbb", "ccc", "ddd"}},
    {"three blocks", "aaa\r\nbbb\r\nccc\r\nddd\r\ne\r\n", 3, 4, {"0,5", "5,10", "10,15", "15,20", "20,23"},
     LineEnd::kCrLf, {"aaa", "bbb", "ccc", "ddd", "e"}},
    // The CR LF at offsets 23-24 lies in the seventh 3-byte window from offset 4.
    {"line longer than the search window", "a\r\n" + kLongLine + "\r\nb\r\n", 4, 3,
     {"0,25", "25,28"}, LineEnd::kCrLf, {"a", kLongLine, "b"}},
    // The search from offset 2 reads [2,6) "cde\r" and then [6,10) "\nf\r\n".
    {"CR ends one window, LF starts the next", "abcde\r\nf\r\n", 2, 4, {"0,7", "7,10"},
     LineEnd::kCrLf, {"abcde", "f"}},
    // A CR LF whose CR lies before start + block size does not end the block.
    {"line end straddling the block boundary", "ab\r\ncd\r\nef\r\n", 3, 4, {"0,8", "8,12"},
     LineEnd::kCrLf, {"ab", "cd", "ef"}},
    {"last line without line end", "a\r\nbbb", 100, 100, {"0,6"}, LineEnd::kCrLf, {"a", "bbb"}},
    // No line end after offset 4: the block runs to the end, the line is whole.
    {"unended last line crossing the boundary", "a\r\nbbbbbb", 4, 2, {"0,9"}, LineEnd::kCrLf,
     {"a", "bbbbbb"}},
    {"end found exactly at the file size", "aaa\r\nbb\r\n", 5, 4, {"0,9"}, LineEnd::kCrLf,
     {"aaa", "bb"}},
    {"CR LF CR LF", "a\r\n\r\nb\r\n", 100, 100, {"0,8"}, LineEnd::kCrLf, {"a", "", "b"}},
    {"line end first and alone", "\r\n", 100, 100, {"0,2"}, LineEnd::kCrLf, {""}},
    {"lone CR and LF are data", "a\nb\r\nc\rd\r\n", 100, 100, {"0,10"}, LineEnd::kCrLf,
     {"a\nb", "c\rd"}},
    {"CR before CR LF stays in the line", "a\r\r\nb", 100, 100, {"0,5"}, LineEnd::kCrLf,
     {"a\r", "b"}},
    {"NUL inside a line", "a\r\nb\0c\r\nd\0\0\r\ne\r\n"s, 100, 100, {"0,16"}, LineEnd::kCrLf,
     {"a", "!b\0c"s, "!d\0\0"s, "e"}},
    {"NUL across blocks", "\0a\r\nbb\r\ncc\0\r\n"s, 3, 4, {"0,8", "8,13"}, LineEnd::kCrLf,
     {"!\0a"s, "bb", "!cc\0"s}},
    {"LF-only file", "a\nbb\nccc\n", 3, 4, {"0,5", "5,9"}, LineEnd::kLf, {"a", "bb", "ccc"}},
    {"LF-only file, empty lines", "\n\na\n", 100, 100, {"0,4"}, LineEnd::kLf, {"", "", "a"}},
    // Decided from the first window alone; a CR LF further on is then data.
    {"LF decided by the first window", "a\nbb\r\n", 100, 3, {"0,6"}, LineEnd::kLf,
     {"a", "bb\r"}},
    {"CR LF seen in the first window wins", "a\nb\r\nc\n", 100, 100, {"0,7"}, LineEnd::kCrLf,
     {"a\nb", "c\n"}},
    {"no LF at all in the first window", "aaaa\nb\r\n", 3, 4, {"0,8"}, LineEnd::kCrLf,
     {"aaaa\nb"}},
};

class PlanTableTest : public BlockReaderTest, public ::testing::WithParamInterface<PlanCase> {};

TEST_P(PlanTableTest, PlansAndReadsTheWholeFile) {
  const PlanCase& c = GetParam();
  FileHandle file = Open("in.json", c.input);
  ASSERT_NE(file, kInvalidFile);
  BlockPlan plan;
  FileError error;
  ASSERT_TRUE(PlanBlocks(file, c.block_size, plan, c.search_window, &error)) << error.Reason();
  EXPECT_EQ(plan.blocks, c.plan);
  EXPECT_EQ(plan.line_end, c.line_end);
  char byte;
  EXPECT_EQ(ReadBytes(file, &byte, 1), 1) << "the planner leaves the file at offset 0";
  EXPECT_EQ(byte, c.input[0]);
  EXPECT_EQ(ReadAll(file, plan), c.lines);
}

INSTANTIATE_TEST_SUITE_P(Cases, PlanTableTest, ::testing::ValuesIn(kPlanCases),
                         [](const auto& info) {
                           std::string name;
                           for (const char* p = info.param.name; *p; ++p) {
                             if (std::isalnum(static_cast<unsigned char>(*p))) name += *p;
                           }
                           return name;
                         });

// Random files of a, CR, LF and NUL bytes with random block sizes and search
// windows, against a plain byte-by-byte search: the windowed search must find
// the same boundaries, and the lines of every block, put back together with
// their line ends, must give the block again.
TEST_F(BlockReaderTest, RandomFilesMatchAPlainSearch) {
  std::mt19937 random(20240611);
  const char alphabet[] = {'a', 'a', 'a', 'a', 'a', '\r', '\r', '\n', '\n', '\0'};
  for (int round = 0; round < 400; ++round) {
    std::string input(random() % 60 + 1, 'a');
    for (char& c : input) c = alphabet[random() % sizeof alphabet];
    const int64_t block_size = random() % 20 + 1;
    const int64_t window = random() % 10 + 1;
    const int64_t size = static_cast<int64_t>(input.size());
    SCOPED_TRACE(testing::Message() << "round " << round << " B=" << block_size << " W=" << window);

    // The plain plan: the line end decided from the first window, each
    // boundary by looking at every byte from start + block size on.
    std::string first = input.substr(0, window);
    bool lf_only = first.find("\r\n") == std::string::npos && first.find('\n') != std::string::npos;
    const std::string separator = lf_only ? "\n" : "\r\n";
    std::vector<std::string> expected;
    for (int64_t start = 0;;) {
      int64_t end = size;
      if (size - start > block_size) {
        size_t at = input.find(separator, start + block_size);
        if (at != std::string::npos) end = static_cast<int64_t>(at + separator.size());
      }
      expected.push_back(std::to_string(start) + "," + std::to_string(end));
      if (end == size) break;
      start = end;
    }

    FileHandle file = Open("random" + std::to_string(round), input);
    ASSERT_NE(file, kInvalidFile);
    BlockPlan plan;
    ASSERT_TRUE(PlanBlocks(file, block_size, plan, window));
    EXPECT_EQ(plan.line_end, lf_only ? LineEnd::kLf : LineEnd::kCrLf);
    ASSERT_EQ(plan.blocks, expected);

    BlockReader reader;
    for (const std::string& range : plan.blocks) {
      int64_t start, end;
      ASSERT_TRUE(ParseBlockRange(range, start, end));
      ASSERT_GE(reader.ReadBlockLines(file, start, end, plan.line_end), 1);
      std::string block = input.substr(start, end - start);
      std::string joined;
      for (const Line& line : reader.lines()) {
        EXPECT_EQ(line.text.find(separator), std::string::npos);
        EXPECT_EQ(line.has_nul, line.text.find('\0') != std::string::npos);
        if (&line != &reader.lines().front()) joined += separator;
        joined += line.text;
      }
      if (block.ends_with(separator)) joined += separator;
      EXPECT_EQ(joined, block) << range;
    }
  }
}

TEST_F(BlockReaderTest, EmptyFileHasNoPlan) {
  FileHandle file = Open("empty.json", "");
  BlockPlan plan;
  plan.blocks = {"kept"};
  FileError error;
  EXPECT_FALSE(PlanBlocks(file, 8, plan, 4, &error));
  EXPECT_EQ(plan.blocks, std::vector<std::string>{"kept"});
  EXPECT_EQ(error.code, 0);
  EXPECT_EQ(error.Reason(), "the file is empty");
}

TEST_F(BlockReaderTest, UnreadableFileHasNoPlan) {
  FileHandle file = Open("in.json", "a\r\nb\r\n");
  BlockPlan plan;
  FileError error;
  InjectFileFault(FileOperation::kRead, 1, EIO);
  EXPECT_FALSE(PlanBlocks(file, 2, plan, 4, &error));
  EXPECT_EQ(error.code, EIO);
  InjectFileFault(FileOperation::kRead, 2, EIO);  // the boundary search
  EXPECT_FALSE(PlanBlocks(file, 2, plan, 4, &error));
  EXPECT_EQ(error.code, EIO);
  EXPECT_TRUE(plan.blocks.empty());
  EXPECT_FALSE(PlanBlocks(kInvalidFile, 2, plan, 4, &error));
  EXPECT_EQ(error.code, EBADF);
}

TEST_F(BlockReaderTest, FindLineEndPastTheEndGivesTheLastByte) {
  FileHandle file = Open("in.json", "ab\r\ncd");
  EXPECT_EQ(FindLineEnd(file, 0, LineEnd::kCrLf, 2), 3);
  EXPECT_EQ(FindLineEnd(file, 3, LineEnd::kCrLf, 2), 5);  // CR at 2 lies before 3
  EXPECT_EQ(FindLineEnd(file, 6), 5);
  EXPECT_EQ(FindLineEnd(file, 60), 5);
  EXPECT_EQ(FindLineEnd(file, 0, LineEnd::kLf, 2), 3);
  EXPECT_EQ(FindLineEnd(kInvalidFile, 0), -1);
}

TEST_F(BlockReaderTest, ReadFailuresAreNeverShorterBlocks) {
  FileHandle file = Open("in.json", "aa\r\nbb\r\n");
  BlockReader reader;
  FileError error;
  ASSERT_EQ(reader.ReadBlockLines(file, 0, 8, LineEnd::kCrLf), 2);

  struct Case {
    const char* name;
    int64_t start, end;
    int fault;  // errno injected into the read, 0 for none
    int code;
  };
  const Case cases[] = {
      {"file shorter than the block", 4, 9, 0, ENODATA},
      {"start past the end", 20, 24, 0, ENODATA},
      {"read refused", 0, 8, EIO, EIO},
      {"range out of order", 8, 4, 0, EINVAL},
      {"negative start", -1, 4, 0, EINVAL},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.fault != 0) InjectFileFault(FileOperation::kRead, 1, c.fault);
    error = {};
    EXPECT_EQ(reader.ReadBlockLines(file, c.start, c.end, LineEnd::kCrLf, &error), 0);
    EXPECT_EQ(error.code, c.code);
    EXPECT_TRUE(reader.lines().empty());
  }
  EXPECT_EQ(reader.ReadBlockLines(kInvalidFile, 0, 8, LineEnd::kCrLf, &error), 0);
  EXPECT_EQ(error.code, EBADF);
}

TEST_F(BlockReaderTest, FileShrunkAfterPlanningFailsTheLastBlock) {
  FileHandle file = Open("in.json", "aa\r\nbb\r\ncc\r\n");
  BlockPlan plan;
  ASSERT_TRUE(PlanBlocks(file, 2, plan, 4));
  ASSERT_EQ(plan.blocks, (std::vector<std::string>{"0,4", "4,8", "8,12"}));
  ASSERT_EQ(::truncate(PathOf("in.json").c_str(), 10), 0);
  BlockReader reader;
  FileError error;
  EXPECT_EQ(reader.ReadBlockLines(file, 4, 8), 1);
  EXPECT_EQ(reader.ReadBlockLines(file, 8, 12, LineEnd::kCrLf, &error), 0);
  EXPECT_EQ(error.code, ENODATA);
  EXPECT_NE(error.Reason().find("became shorter"), std::string::npos);
}

TEST_F(BlockReaderTest, EmptyBlockIsOneEmptyLine) {
  FileHandle file = Open("in.json", "a\r\n");
  BlockReader reader;
  ASSERT_EQ(reader.ReadBlockLines(file, 3, 3), 1);
  EXPECT_EQ(reader.lines()[0].text, "");
}

TEST_F(BlockReaderTest, LaterBlocksReuseTheFirstBlocksBuffer) {
  FileHandle file = Open("in.json", "aaaaaaaa\r\nbb\r\n");
  BlockReader reader;
  ASSERT_EQ(reader.ReadBlockLines(file, 0, 10), 1);
  const char* storage = reader.lines()[0].text.data();
  ASSERT_EQ(reader.ReadBlockLines(file, 10, 14), 1);
  EXPECT_EQ(reader.lines()[0].text, "bb");
  EXPECT_EQ(reader.lines()[0].text.data(), storage);
}

TEST(ParseBlockRange, AcceptsOnlyTwoOrderedDecimals) {
  struct Case {
    const char* text;
    bool ok;
    int64_t start, end;
  };
  const Case cases[] = {
      {"0,81", true, 0, 81},
      {"4294967310,5368709120", true, 4294967310, 5368709120},
      {"7,7", true, 7, 7},
      {"8,7", false, 0, 0},
      {"-1,5", false, 0, 0},
      {"+1,5", false, 0, 0},
      {"1,", false, 0, 0},
      {",1", false, 0, 0},
      {"1 ,2", false, 0, 0},
      {"12", false, 0, 0},
      {"1,2,3", false, 0, 0},
      {"0,99999999999999999999", false, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    int64_t start = -5, end = -5;
    EXPECT_EQ(ParseBlockRange(c.text, start, end), c.ok);
    if (c.ok) {
      EXPECT_EQ(start, c.start);
      EXPECT_EQ(end, c.end);
    } else {
      EXPECT_EQ(start, -5);
      EXPECT_EQ(end, -5);
    }
  }
}

// A sparse file of 5 GiB + 100 bytes: zeros but for one line just past the
// 4 GiB mark. Takes no disk space.
TEST_F(BlockReaderTest, SparseFileBeyondFourGiB) {
  constexpr int64_t kFourGiB = int64_t{1} << 32;
  constexpr int64_t kSize = 5 * (int64_t{1} << 30) + 100;
  const std::string line = "{\"a\":1}\r\n";
  std::string path = PathOf("sparse.json");
  {
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    ASSERT_GE(fd, 0);
    bool made = ::ftruncate(fd, kSize) == 0 &&
                ::pwrite(fd, line.data(), line.size(), kFourGiB + 10) ==
                    static_cast<ssize_t>(line.size());
    ::close(fd);
    if (!made) GTEST_SKIP() << "this file system cannot hold a 5 GiB sparse file";
  }
  FileHandle file = OpenFile(path);
  open_.push_back(file);
  ASSERT_NE(file, kInvalidFile);
  EXPECT_EQ(GetFileLength(file), kSize);
  EXPECT_EQ(SeekFile(file, kFourGiB + 10), kFourGiB + 10);
  char bytes[7];
  ASSERT_EQ(ReadBytes(file, bytes, sizeof bytes), 7);
  EXPECT_EQ(std::string(bytes, 7), "{\"a\":1}");

  // Block one takes 4 GiB and the line crossing the mark; the search walks
  // 4 KiB windows of zeros up to the line end.
  BlockPlan plan;
  FileError error;
  ASSERT_TRUE(PlanBlocks(file, kFourGiB, plan, 4096, &error)) << error.Reason();
  const int64_t end = kFourGiB + 10 + static_cast<int64_t>(line.size());
  EXPECT_EQ(plan.blocks, (std::vector<std::string>{"0," + std::to_string(end),
                                                   std::to_string(end) + "," +
                                                       std::to_string(kSize)}));
  EXPECT_EQ(plan.blocks[0], "0,4294967315");

  // Read a block from above the mark (not the 4 GiB one).
  BlockReader reader;
  ASSERT_EQ(reader.ReadBlockLines(file, kFourGiB, end, plan.line_end, &error), 1)
      << error.Reason();
  EXPECT_EQ(reader.lines()[0].text, std::string(10, '\0') + "{\"a\":1}");
  EXPECT_TRUE(reader.lines()[0].has_nul);
}

}  // namespace
}  // namespace ombrelk
