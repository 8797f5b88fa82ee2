// The conversion run driven through RunControls on small files: counters,
// outputs, naming, flushing, and the failures a run must report.
#include "conversion/conversion_run.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "conversion/file_access.h"

namespace ombrelk {
namespace {

namespace fs = std::filesystem;
using Counter = RunControls::Counter;

// RunControls as the window behaves: counters as texts starting at "0", a
// tick adds one second, and every call is recorded.
class TestControls : public RunControls {
 public:
  bool record_errors = false;
  std::string column_limit = "0";
  std::string input_path;

  std::map<Counter, std::string> texts{
      {Counter::kProcessed, "0"}, {Counter::kErrors, "0"}, {Counter::kElapsed, "0"}};
  std::vector<std::string> processed_updates;  // every text written to the processed counter
  int error_updates = 0;
  std::vector<std::string> messages;           // "caption|text"
  bool start_enabled = false;
  int timer_period = -1;
  // Called after every processed-counter update (tests look at the disk then).
  std::function<void()> on_processed;

  bool RecordErrors() override { return record_errors; }
  std::string ColumnLimitText() override { return column_limit; }
  std::string InputPath() override { return input_path; }
  std::string CounterText(Counter counter) override { return texts[counter]; }
  void SetCounterText(Counter counter, const std::string& text) override {
    texts[counter] = text;
    if (counter == Counter::kProcessed) {
      processed_updates.push_back(text);
      if (on_processed) on_processed();
    }
    if (counter == Counter::kErrors) ++error_updates;
  }
  void SetStartEnabled(bool enabled) override { start_enabled = enabled; }
  void SetTimerPeriod(int milliseconds) override { timer_period = milliseconds; }
  void Tick() override {
    texts[Counter::kElapsed] = CounterNumberText(TextToInteger(texts[Counter::kElapsed]) + 1.0) + " s";
  }
  void ShowMessage(const std::string& text, const std::string& caption) override {
    messages.push_back(caption + "|" + text);
  }

  // What the window does on a click: counters to "0".
  void ResetCounters() {
    for (auto& entry : texts) entry.second = "0";
    processed_updates.clear();
    error_updates = 0;
    messages.clear();
  }
};

class ConversionRunTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    dir_ = fs::path(::testing::TempDir()) / (std::string("ombrelk_run_") + info->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override {
    InjectFileFault(FileOperation::kRead, 0, 0);
    InjectFileFault(FileOperation::kWrite, 0, 0);
    fs::permissions(dir_, fs::perms::owner_all, fs::perm_options::add);
    fs::remove_all(dir_);
  }

  std::string PathOf(const std::string& name) const { return (dir_ / name).string(); }

  std::string Input(const std::string& name, const std::string& bytes) {
    std::string path = PathOf(name);
    WriteFile(path, bytes);
    controls_.input_path = path;
    return path;
  }

  static void WriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
  }
  static std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream content;
    content << in.rdbuf();
    return content.str();
  }

  RunOutcome Convert() { return ConversionWorker(controls_, limits_).Run(); }

  fs::path dir_;
  TestControls controls_;
  RunLimits limits_;
};

std::string Lines(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += line + "\r\n";
  return text;
}

TEST_F(ConversionRunTest, GoodLinesUpdateTheProcessedCounterEveryThousandAndAtTheEnd) {
  std::string input;
  std::string expected_csv = "n\r\n";
  for (int i = 0; i < 2500; ++i) {
    input += "{\"n\":" + std::to_string(i) + "}\r\n";
    expected_csv += "\"" + std::to_string(i) + "\"\r\n";
  }
  Input("count.json", input);

  EXPECT_EQ(Convert(), RunOutcome::kFinished);
  EXPECT_EQ(controls_.processed_updates, (std::vector<std::string>{"1000", "2000", "2500"}));
  EXPECT_EQ(controls_.texts[Counter::kErrors], "0");
  EXPECT_EQ(controls_.error_updates, 0);
  EXPECT_EQ(controls_.texts[Counter::kElapsed], "1 s 完成");
  EXPECT_TRUE(controls_.start_enabled);
  EXPECT_EQ(controls_.timer_period, 0);
  EXPECT_TRUE(controls_.messages.empty());
  EXPECT_EQ(ReadFile(PathOf("count.csv")), expected_csv);
  EXPECT_FALSE(fs::exists(PathOf("count_错误行.json")));
}

TEST_F(ConversionRunTest, ErrorLinesAreCountedAndKeptUnchanged) {
  // Ten lines, three of them bad: an empty line, "{}", and text that is not JSON.
  Input("mixed.json", Lines({R"({"a":1,"b":"x"})", "", R"({"a":2,"b":"y"})", "{}",
                             R"({"a":3,"b":"z"})", "not json", R"({"a":4,"b":"w"})",
                             R"({"a":5,"b":"v"})", R"({"a":6,"b":"u"})", R"({"a":7,"b":"t"})"}));
  controls_.record_errors = true;

  EXPECT_EQ(Convert(), RunOutcome::kFinished);
  EXPECT_EQ(controls_.texts[Counter::kProcessed], "10");
  EXPECT_EQ(controls_.texts[Counter::kErrors], "3");
  EXPECT_EQ(controls_.error_updates, 3);
  EXPECT_EQ(ReadFile(PathOf("mixed.csv")),
            "a,b\r\n\"1\",\"x\"\r\n\"2\",\"y\"\r\n\"3\",\"z\"\r\n\"4\",\"w\"\r\n"
            "\"5\",\"v\"\r\n\"6\",\"u\"\r\n\"7\",\"t\"\r\n");
  // The empty line adds just its line end.
  EXPECT_EQ(ReadFile(PathOf("mixed_错误行.json")), "\r\n{}\r\nnot json\r\n");
}

TEST_F(ConversionRunTest, ColumnLimitDecidesWhichLinesAreGood) {
  const std::string input = Lines({R"({"a":1,"b":2})", R"({"a":1,"b":2,"c":3})",
                                   R"({"a":1,"b":2,"c":3,"d":4})", "[1,2,3]"});
  struct Case {
    std::string limit;
    std::string errors;
  };
  // Full-width digits and the ideographic space are read as their ASCII forms.
  for (const Case& c : std::vector<Case>{{"0", "0"}, {"3", "2"}, {"３", "2"}, {"　3", "2"},
                                         {"3 columns", "2"}, {"2", "3"}, {"-3", "4"}, {"x", "0"}}) {
    SCOPED_TRACE("limit '" + c.limit + "'");
    controls_.ResetCounters();
    controls_.column_limit = c.limit;
    Input("limit.json", input);
    EXPECT_EQ(Convert(), RunOutcome::kFinished);
    EXPECT_EQ(controls_.texts[Counter::kErrors], c.errors);
    EXPECT_EQ(controls_.texts[Counter::kProcessed], "4");
  }
  controls_.ResetCounters();
  controls_.column_limit = "3";
  EXPECT_EQ(Convert(), RunOutcome::kFinished);
  EXPECT_EQ(ReadFile(PathOf("limit.csv")), "a,b\r\n\"1\",\"2\",\"3\"\r\n\"1\",\"2\",\"3\"\r\n");
}

TEST_F(ConversionRunTest, ErrorFileIsNeitherCreatedNorTouchedWhenNotRecording) {
  Input("quiet.json", Lines({"{}", R"({"a":1})"}));
  EXPECT_EQ(Convert(), RunOutcome::kFinished);
  EXPECT_EQ(controls_.texts[Counter::kErrors], "1");
  EXPECT_FALSE(fs::exists(PathOf("quiet_错误行.json")));

  WriteFile(PathOf("quiet_错误行.json"), "from an earlier run\r\n");
  controls_.ResetCounters();
  EXPECT_EQ(Convert(), RunOutcome::kFinished);
  EXPECT_EQ(ReadFile(PathOf("quiet_错误行.json")), "from an earlier run\r\n");
}

TEST_F(ConversionRunTest, SecondRunStartsAfreshAndRewritesItsOutputs) {
  Input("again.json", Lines({R"({"a":1})", "bad", R"({"a":2})"}));
  controls_.record_errors = true;
  ASSERT_EQ(Convert(), RunOutcome::kFinished);

  Input("again.json", Lines({R"({"b":9})"}));
  controls_.ResetCounters();
  controls_.record_errors = false;
  EXPECT_EQ(Convert(), RunOutcome::kFinished);
  EXPECT_EQ(controls_.texts[Counter::kProcessed], "1");
  EXPECT_EQ(controls_.texts[Counter::kErrors], "0");
  EXPECT_EQ(controls_.texts[Counter::kElapsed], "1 s 完成");
  EXPECT_EQ(ReadFile(PathOf("again.csv")), "b\r\n\"9\"\r\n");
  // Not recording this time: the first run's error file stays as it was.
  EXPECT_EQ(ReadFile(PathOf("again_错误行.json")), "bad\r\n");

  controls_.ResetCounters();
  controls_.record_errors = true;
  EXPECT_EQ(Convert(), RunOutcome::kFinished);
  EXPECT_EQ(ReadFile(PathOf("again_错误行.json")), "");
}

TEST_F(ConversionRunTest, FirstLineWithoutKeysGivesAnEmptyHeaderLine) {
  Input("array.json", Lines({"[5,\"z\"]", R"({"a":1})"}));
  EXPECT_EQ(Convert(), RunOutcome::kFinished);
  EXPECT_EQ(ReadFile(PathOf("array.csv")), "\r\n\"5\",\"z\"\r\n\"1\"\r\n");

  Input("array.json", Lines({"broken", R"({"a":1})"}));
  controls_.ResetCounters();
  EXPECT_EQ(Convert(), RunOutcome::kFinished);
  EXPECT_EQ(ReadFile(PathOf("array.csv")), "\r\n\"1\"\r\n");
}

TEST_F(ConversionRunTest, LinesHoldingANulByteAreErrorLinesKeptWhole) {
  const std::string nul_line("{\"a\":1}\0tail", 12);
  Input("nul.json", nul_line + "\r\n{\"a\":2}\r\n");
  controls_.record_errors = true;
  EXPECT_EQ(Convert(), RunOutcome::kFinished);
  EXPECT_EQ(controls_.texts[Counter::kErrors], "1");
  EXPECT_EQ(ReadFile(PathOf("nul_错误行.json")), nul_line + "\r\n");
  EXPECT_EQ(ReadFile(PathOf("nul.csv")), "\r\n\"2\"\r\n");
}

TEST_F(ConversionRunTest, EmptyInputGivesEmptyOutputs) {
  Input("empty.json", "");
  WriteFile(PathOf("empty.csv"), "old");
  controls_.record_errors = true;
  EXPECT_EQ(Convert(), RunOutcome::kFinished);
  EXPECT_EQ(ReadFile(PathOf("empty.csv")), "");
  EXPECT_EQ(ReadFile(PathOf("empty_错误行.json")), "");
  EXPECT_EQ(controls_.texts[Counter::kProcessed], "0");
  EXPECT_EQ(controls_.texts[Counter::kElapsed], "1 s 完成");
}

TEST_F(ConversionRunTest, BuilderIsFlushedOnlyOnceItGrowsPastTheThreshold) {
  // Every row is 5 bytes ("x" in quotes, CR LF); the threshold holds two rows.
  Input("flush.json", Lines({R"({"k":"a"})", R"({"k":"b"})", R"({"k":"c"})", R"({"k":"d"})"}));
  limits_.flush_threshold = 10;
  limits_.label_step = 1;
  std::vector<uintmax_t> csv_sizes;
  controls_.on_processed = [&] { csv_sizes.push_back(fs::file_size(PathOf("flush.csv"))); };
  EXPECT_EQ(Convert(), RunOutcome::kFinished);
  // The header (3 bytes) goes out at once; rows 1 and 2 (10 bytes) stay in
  // memory; row 3 makes 15 and everything goes out. The last count comes
  // before the last flush.
  EXPECT_EQ(csv_sizes, (std::vector<uintmax_t>{3, 3, 18, 18, 18}));
  EXPECT_EQ(ReadFile(PathOf("flush.csv")), "k\r\n\"a\"\r\n\"b\"\r\n\"c\"\r\n\"d\"\r\n");
}

TEST_F(ConversionRunTest, SmallBlocksGiveTheSameOutputAsOneBlock) {
  std::string input;
  for (int i = 0; i < 300; ++i) {
    input += i % 7 == 3 ? "oops\r\n" : "{\"i\":" + std::to_string(i) + ",\"s\":\"v\"}\r\n";
  }
  Input("blocks.json", input);
  controls_.record_errors = true;
  ASSERT_EQ(Convert(), RunOutcome::kFinished);
  const std::string one_block_csv = ReadFile(PathOf("blocks.csv"));
  const std::string one_block_errors = ReadFile(PathOf("blocks_错误行.json"));

  controls_.ResetCounters();
  limits_.block_size = 64;
  limits_.search_window = 16;
  limits_.flush_threshold = 100;
  EXPECT_EQ(Convert(), RunOutcome::kFinished);
  EXPECT_EQ(ReadFile(PathOf("blocks.csv")), one_block_csv);
  EXPECT_EQ(ReadFile(PathOf("blocks_错误行.json")), one_block_errors);
  EXPECT_EQ(controls_.texts[Counter::kProcessed], "300");
}

TEST(OutputPathsTest, ExtensionIsTakenFromTheLastComponentOnly) {
  struct Case {
    const char* input;
    const char* csv;
    const char* errors;
  };
  for (const Case& c : std::vector<Case>{
           {"/d/data/sales.json", "/d/data/sales.csv", "/d/data/sales_错误行.json"},
           {"/d/data.old/sales", "/d/data.old/sales.csv", "/d/data.old/sales_错误行.json"},
           {"sales.tar.json", "sales.tar.csv", "sales.tar_错误行.json"},
           {"noext", "noext.csv", "noext_错误行.json"},
           {"/d/销售.数据/表", "/d/销售.数据/表.csv", "/d/销售.数据/表_错误行.json"},
           {"/d/dir.x/", "/d/dir.x/.csv", "/d/dir.x/_错误行.json"},
       }) {
    OutputPaths paths = DeriveOutputPaths(c.input);
    EXPECT_EQ(paths.csv, c.csv) << c.input;
    EXPECT_EQ(paths.errors, c.errors) << c.input;
  }
}

TEST(TextToIntegerTest, ReadsLeadingNumbersWithFullWidthFormsFolded) {
  struct Case {
    const char* text;
    int64_t value;
  };
  for (const Case& c : std::vector<Case>{
           {"0", 0}, {"2500", 2500}, {"12 s", 12}, {"37 s 完成", 37}, {"  +7", 7}, {"-12x", -12},
           {"１２３", 123}, {"－５", -5}, {"＋４２", 42}, {"　　９", 9}, {"1２3", 123},
           {"", 0}, {"abc", 0}, {"-", 0}, {"+ 5", 0}, {"完成", 0},
           {"99999999999999999999", INT64_MAX}, {"-99999999999999999999", INT64_MIN},
       }) {
    EXPECT_EQ(TextToInteger(c.text), c.value) << c.text;
  }
  EXPECT_EQ(CounterNumberText(2500), "2500");
  EXPECT_EQ(CounterNumberText(1e13), "1e+013");
}

// ---- Failures --------------------------------------------------------------

// A run that failed leaves the window usable and never says " 完成".
void ExpectFailedRun(const TestControls& controls, const std::string& message_part) {
  ASSERT_EQ(controls.messages.size(), 1u);
  EXPECT_NE(controls.messages[0].find(message_part), std::string::npos) << controls.messages[0];
  EXPECT_EQ(controls.messages[0].rfind("信息：|", 0), 0u);
  EXPECT_EQ(controls.texts.at(Counter::kElapsed), "1 s");
  EXPECT_TRUE(controls.start_enabled);
  EXPECT_EQ(controls.timer_period, 0);
}

TEST_F(ConversionRunTest, MissingInputLeavesAnExistingCsvUntouched) {
  controls_.input_path = PathOf("missing.json");
  controls_.record_errors = true;
  WriteFile(PathOf("missing.csv"), "keep me");
  EXPECT_EQ(Convert(), RunOutcome::kFailed);
  ExpectFailedRun(controls_, PathOf("missing.json") + "\": No such file or directory");
  EXPECT_EQ(ReadFile(PathOf("missing.csv")), "keep me");
  EXPECT_FALSE(fs::exists(PathOf("missing_错误行.json")));
  EXPECT_EQ(controls_.texts[Counter::kProcessed], "0");
}

TEST_F(ConversionRunTest, ReadOnlyInputConverts) {
  std::string path = Input("readonly.json", Lines({R"({"a":1})"}));
  fs::permissions(path, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
  EXPECT_EQ(Convert(), RunOutcome::kFinished);
  EXPECT_EQ(ReadFile(PathOf("readonly.csv")), "a\r\n\"1\"\r\n");
  EXPECT_EQ(ReadFile(path), Lines({R"({"a":1})"}));
}

TEST_F(ConversionRunTest, OutputThatIsTheInputIsRefusedBeforeAnythingIsTouched) {
  const std::string content = Lines({R"({"a":1})"});
  struct Case {
    const char* name;
    std::function<void()> arrange;
    bool record_errors;
  };
  std::vector<Case> cases = {
      {"extension csv", [this] { Input("data.CSV", Lines({R"({"a":1})"})); },
       false},
      {"CSV path a hard link to the input",
       [this] {
         fs::create_hard_link(Input("linked.json", Lines({R"({"a":1})"})), PathOf("linked.csv"));
       },
       false},
      {"error path a symbolic link to the input",
       [this] {
         fs::create_symlink(Input("sym.json", Lines({R"({"a":1})"})), PathOf("sym_错误行.json"));
       },
       true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    controls_.ResetCounters();
    controls_.record_errors = c.record_errors;
    c.arrange();
    EXPECT_EQ(Convert(), RunOutcome::kFailed);
    ExpectFailedRun(controls_, "is the input file itself");
    EXPECT_EQ(ReadFile(controls_.input_path), content);
  }
  // Not recording errors, the error path is never touched: the run goes on.
  controls_.ResetCounters();
  controls_.input_path = PathOf("sym.json");
  controls_.record_errors = false;
  EXPECT_EQ(Convert(), RunOutcome::kFinished);
  EXPECT_EQ(ReadFile(PathOf("sym.json")), content);
}

TEST_F(ConversionRunTest, OutputThatCannotBeCreatedIsReportedByName) {
  Input("blocked.json", Lines({R"({"a":1})"}));
  fs::create_directory(PathOf("blocked.csv"));
  EXPECT_EQ(Convert(), RunOutcome::kFailed);
  ExpectFailedRun(controls_, "Cannot create the CSV file \"" + PathOf("blocked.csv") + "\": ");

  controls_.ResetCounters();
  controls_.record_errors = true;
  fs::remove(PathOf("blocked.csv"));
  fs::create_directory(PathOf("blocked_错误行.json"));
  EXPECT_EQ(Convert(), RunOutcome::kFailed);
  ExpectFailedRun(controls_, "Cannot create the error-lines file \"" + PathOf("blocked_错误行.json"));
}

TEST_F(ConversionRunTest, FailedWriteStopsTheRunAndNamesTheFile) {
  Input("full.json", Lines({R"({"k":"a"})", "bad", R"({"k":"b"})", R"({"k":"c"})"}));
  limits_.flush_threshold = 6;
  struct Case {
    const char* name;
    int failing_write;  // 1: the header
    std::string csv_after;
  };
  for (const Case& c : std::vector<Case>{{"header", 1, ""},
                                         {"first flush", 2, "k\r\n"},
                                         {"last flush", 3, "k\r\n\"a\"\r\n\"b\"\r\n"}}) {
    SCOPED_TRACE(c.name);
    controls_.ResetCounters();
    InjectFileFault(FileOperation::kWrite, c.failing_write, ENOSPC);
    EXPECT_EQ(Convert(), RunOutcome::kFailed);
    ExpectFailedRun(controls_, "Cannot write the CSV file \"" + PathOf("full.csv") +
                                   "\": No space left on device");
    EXPECT_EQ(ReadFile(PathOf("full.csv")), c.csv_after);
  }
}

TEST_F(ConversionRunTest, FullDiskUnderTheErrorFileIsReported) {
  if (!fs::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
  Input("devfull.json", Lines({R"({"a":1})", "bad"}));
  fs::create_symlink("/dev/full", PathOf("devfull_错误行.json"));
  controls_.record_errors = true;
  EXPECT_EQ(Convert(), RunOutcome::kFailed);
  ExpectFailedRun(controls_, "Cannot write the error-lines file \"" + PathOf("devfull_错误行.json") +
                                 "\": No space left on device");
  // The CSV builder was written before the error builder.
  EXPECT_EQ(ReadFile(PathOf("devfull.csv")), "a\r\n\"1\"\r\n");
}

TEST_F(ConversionRunTest, UnreadableBlockEndsTheProgramAfterFlushingAndClosing) {
  std::string input;
  for (int i = 0; i < 40; ++i) input += "{\"i\":" + std::to_string(i) + "}\r\n";
  const std::string path = Input("cut.json", input);
  limits_.block_size = 100;
  limits_.search_window = 16;
  limits_.label_step = 1;
  controls_.record_errors = true;
  // Once the first block is converted the file loses its tail, so the next
  // block cannot be read whole.
  controls_.on_processed = [&] {
    if (controls_.processed_updates.size() == 1) fs::resize_file(path, 120);
  };
  ConversionWorker worker(controls_, limits_);
  EXPECT_EQ(worker.Run(), RunOutcome::kEndProgram);
  ASSERT_EQ(controls_.messages.size(), 1u);
  EXPECT_EQ(controls_.messages[0], "信息：|一大块文本读取失败,程序崩溃！");
  // The fixed message says neither file nor reason; the command line prints these.
  EXPECT_NE(worker.FailureReason().find("\"" + path + "\" from byte "), std::string::npos)
      << worker.FailureReason();
  EXPECT_NE(worker.FailureReason().find(": the file became shorter"), std::string::npos)
      << worker.FailureReason();
  EXPECT_EQ(controls_.texts[Counter::kElapsed].find("完成"), std::string::npos);
  // The first block (up to the first line end at or after byte 100) reached the disk.
  std::string csv = ReadFile(PathOf("cut.csv"));
  EXPECT_EQ(csv.rfind("i\r\n\"0\"\r\n\"1\"\r\n", 0), 0u) << csv;
  EXPECT_NE(csv.find("\"9\"\r\n"), std::string::npos) << csv;
  EXPECT_EQ(csv.find("\"20\""), std::string::npos) << csv;
}

}  // namespace
}  // namespace ombrelk
