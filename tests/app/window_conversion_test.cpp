// Clicks through real conversions: the window, the run on its own thread and
// the files it writes. The sample test.json holds 300 lines of which 15 are
// error lines (every 20th; see app/window/make_sample.py); its good lines have
// 9 members each.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPixmap>
#include <QTemporaryDir>
#include <fstream>
#include <iterator>
#include <string>

#include "app/window/main_window.h"
#include "conversion/conversion_run.h"
#include "tests/app/window_test_support.h"

namespace ombrelk::window {
namespace {

using namespace ombrelk::window::testing;

RunOutcome ConvertForReal(RunControls& controls) { return ConversionWorker(controls).Run(); }

std::string ReadAll(const QString& path) {
  std::ifstream in(QFile::encodeName(path).toStdString(), std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

size_t CountCrLf(const std::string& text) {
  size_t count = 0;
  for (size_t at = text.find("\r\n"); at != std::string::npos; at = text.find("\r\n", at + 2)) ++count;
  return count;
}

class WindowConversionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.isValid());
    sample_ = dir_.filePath(QStringLiteral("test.json"));
    ASSERT_TRUE(QFile::copy(QStringLiteral(OMBRELK_SAMPLE_JSON), sample_));
    window_.show();
  }

  // Sets the three settings and clicks; true when the run ended in time.
  bool Convert(const QString& input, bool record_errors = false, const QString& column_limit = "0") {
    InputPathEdit(window_)->setText(input);
    Find<QCheckBox>(window_, QStringLiteral("选择框_记录错误"))->setChecked(record_errors);
    Find<QLineEdit>(window_, QStringLiteral("编辑框_限定列数"))->setText(column_limit);
    Click(window_);
    EXPECT_FALSE(StartButton(window_)->isEnabled());
    return WaitForRunEnd(window_);
  }

  QString Output(const QString& name) const { return dir_.filePath(name); }

  QTemporaryDir dir_;
  QString sample_;
  RecordingPresenter presenter_;
  MainWindow window_{ConvertForReal, &presenter_};
};

TEST_F(WindowConversionTest, ClickConvertsTheSample) {
  ButtonWatch watch(window_);
  ASSERT_TRUE(Convert(sample_, /*record_errors=*/true));

  EXPECT_EQ(ProcessedLabel(window_)->text(), "300");
  EXPECT_EQ(ErrorsLabel(window_)->text(), "15");
  const QString elapsed = ElapsedLabel(window_)->text();
  EXPECT_TRUE(elapsed.endsWith(" s 完成")) << elapsed.toStdString();
  EXPECT_GE(TextToInteger(elapsed.toStdString()), 1);
  EXPECT_TRUE(StartButton(window_)->isEnabled());
  EXPECT_EQ(watch.enabled_while_running(), 0);
  EXPECT_TRUE(presenter_.messages().empty());

  EXPECT_EQ(CountCrLf(ReadAll(Output("test.csv"))), 1u + 285u);  // header + good lines
  EXPECT_EQ(CountCrLf(ReadAll(Output(QStringLiteral("test_错误行.json")))), 15u);

  // A picture of the finished window, for anyone to look at.
  const QString png = QStringLiteral(OMBRELK_BINARY_DIR "/ombrelk-window.png");
  EXPECT_TRUE(window_.grab().save(png)) << png.toStdString();
}

// The column limit and the check box reach the run as the user left them.
TEST_F(WindowConversionTest, SettingsReachTheRun) {
  struct Case {
    const char16_t* column_limit;
    bool record_errors;
    const char* errors;
  };
  const Case cases[] = {
      {u"0", false, "15"},
      {u"9", true, "15"},   // the good lines have 9 members
      {u"8", false, "300"},
      {u"８", true, "300"},  // full-width digits read as their ASCII forms
  };
  for (const Case& c : cases) {
    const QString limit = QString::fromUtf16(c.column_limit);
    SCOPED_TRACE(limit.toStdString());
    QFile::remove(Output(QStringLiteral("test_错误行.json")));
    ASSERT_TRUE(Convert(sample_, c.record_errors, limit));
    EXPECT_EQ(ProcessedLabel(window_)->text(), "300");
    EXPECT_EQ(ErrorsLabel(window_)->text(), c.errors);
    EXPECT_EQ(QFile::exists(Output(QStringLiteral("test_错误行.json"))), c.record_errors);
  }
}

// The second run's counters start from zero: 2,500 good lines after the
// sample's 15 error lines show 2500 and 0.
TEST_F(WindowConversionTest, SecondRunResetsTheCounters) {
  ASSERT_TRUE(Convert(sample_));
  ASSERT_EQ(ErrorsLabel(window_)->text(), "15");

  const QString big = Output("lines.json");
  {
    std::ofstream out(QFile::encodeName(big).toStdString(), std::ios::binary);
    for (int i = 1; i <= 2500; ++i) out << "{\"id\":" << i << ",\"name\":\"n" << i << "\"}\r\n";
  }
  ASSERT_TRUE(Convert(big));
  EXPECT_EQ(ProcessedLabel(window_)->text(), "2500");
  EXPECT_EQ(ErrorsLabel(window_)->text(), "0");
  EXPECT_TRUE(ElapsedLabel(window_)->text().endsWith(" s 完成"));
  EXPECT_EQ(CountCrLf(ReadAll(Output("lines.csv"))), 2501u);
}

TEST_F(WindowConversionTest, MissingInputShowsTheMessage) {
  ASSERT_TRUE(Convert(Output("missing.json")));
  ASSERT_EQ(presenter_.messages().size(), 1u);
  EXPECT_EQ(presenter_.messages()[0].caption, QStringLiteral("信息："));
  EXPECT_TRUE(presenter_.messages()[0].text.contains(QStringLiteral("missing.json")))
      << presenter_.messages()[0].text.toStdString();
  EXPECT_EQ(ProcessedLabel(window_)->text(), "0");
  EXPECT_EQ(ErrorsLabel(window_)->text(), "0");
  EXPECT_FALSE(ElapsedLabel(window_)->text().endsWith(QStringLiteral(" 完成")));
  EXPECT_TRUE(StartButton(window_)->isEnabled());
  EXPECT_FALSE(QFile::exists(Output("missing.csv")));
}

}  // namespace
}  // namespace ombrelk::window
