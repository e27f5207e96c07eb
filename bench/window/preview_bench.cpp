// preview_bench [KEYSTROKES]: the settings dialog's template preview under typing (offscreen).
// A 500-character scan-OK template is put into the real dialog, then each keystroke is one key
// typed at its end (alternately a character and Backspace, so the length stays near 500) followed
// by a synchronous repaint of the preview's display. Prints the cost of a keystroke (p50, p99,
// max), once with the built-in sample item and once with the demo data set open.
#include <QApplication>
#include <QPlainTextEdit>
#include <QTest>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include <unistd.h>

#include "server/data/data_folder.h"
#include "server/data/database.h"
#include "server/data/demo/demo_data.h"
#include "server/data/global_variable.h"
#include "server/data/settings_table.h"
#include "server/reply/default_templates.h"
#include "server/reply/expand.h"
#include "server/ui/display_view.h"
#include "server/ui/template_preview.h"
#include "server/ui/winsetting.h"

namespace {

using Clock = std::chrono::steady_clock;

// The default scan-OK template, then more name and price lines, cut to exactly 500 characters.
std::string Template500() {
  std::string t = kt::reply::DefaultComOk();
  const std::string more = "{esc}'{0x30}{0x33}{esc}.{0x3A}LEFT2(SUBSTR({namaitemall},5),18){0x03}{esc}.{0x38}{hargajual}{0x03}";
  while (t.size() < 500) t += more;
  t.resize(500);
  return t;
}

double Percentile(std::vector<double> v, double p) {
  std::sort(v.begin(), v.end());
  return v[static_cast<std::size_t>(p * static_cast<double>(v.size() - 1))];
}

void Run(const char* label, const std::filesystem::path& work, kt::data::GLOBALVARIABLE& globals, int keys) {
  kt::ui::Prompts prompts;
  prompts.confirm = [](QWidget*, const QString&) { return false; };
  prompts.error = [](QWidget*, const QString&) {};
  prompts.info = [](QWidget*, const QString&, const QString&) {};
  kt::ui::WINSETTING dialog(work, globals, kt::NullEventSink(), prompts);
  dialog.show();
  if (!QTest::qWaitForWindowExposed(&dialog)) std::fprintf(stderr, "preview_bench: dialog not exposed\n");
  auto* field = dialog.findChild<QPlainTextEdit*>("SCANOK");
  auto* preview = dialog.findChild<kt::ui::TemplatePreview*>("PREVIEW");
  const std::string tmpl = Template500();
  field->setPlainText(QString::fromLatin1(tmpl.data(), static_cast<qsizetype>(tmpl.size())));
  field->setFocus();
  field->moveCursor(QTextCursor::End);
  QApplication::processEvents();

  std::vector<double> us;
  us.reserve(static_cast<std::size_t>(keys));
  for (int i = 0; i < keys; ++i) {
    const auto start = Clock::now();
    QTest::keyClick(field, i % 2 ? Qt::Key_Backspace : Qt::Key_X);
    preview->display(kt::ui::TemplatePreview::kScanOk)->repaint();
    us.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
  }
  std::printf("%s: template %zu characters, %d keystrokes: p50 %.0f us, p99 %.0f us, max %.0f us per keystroke\n",
              label, tmpl.size(), keys, Percentile(us, 0.50), Percentile(us, 0.99), *std::max_element(us.begin(), us.end()));
  std::printf("  item \"%s\", price row \"%s\"\n", preview->itemName().c_str(),
              preview->display(kt::ui::TemplatePreview::kScanOk)->rows()[7].c_str());

  // The preview's own share: expansion with the marks, the emulator and the painting of one display.
  const kt::reply::ItemTexts item{preview->itemName(), preview->itemName(), "", ""};
  auto* view = preview->display(kt::ui::TemplatePreview::kScanOk);
  std::vector<double> own;
  std::string text = tmpl;
  for (int i = 0; i < keys; ++i) {
    text.back() = static_cast<char>('a' + i % 26);
    const auto start = Clock::now();
    std::vector<kt::reply::PassedThrough> places;
    kt::reply::ExpandInputs in;
    in.item = &item;
    in.price_text = [] { return std::string("3.500 / 1 BTL"); };
    in.passed_through = &places;
    view->setStream(kt::reply::ExpandTemplate(text, in));
    view->repaint();
    own.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
  }
  std::printf("  of which the preview (expand + mark + draw one display): p50 %.0f us, p99 %.0f us, max %.0f us\n",
              Percentile(own, 0.50), Percentile(own, 0.99), *std::max_element(own.begin(), own.end()));
}

}  // namespace

int main(int argc, char** argv) {
  const int keys = argc > 1 ? std::max(10, std::atoi(argv[1])) : 2000;
  ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QApplication app(argc, argv);
  const std::filesystem::path work =
      std::filesystem::temp_directory_path() / ("kt_preview_bench_" + std::to_string(::getpid()));
  std::filesystem::create_directories(work / "DATA" / "ST_DB");
  kt::data::GLOBALVARIABLE globals;
  if (!kt::data::LoadSettings(work, globals).ok()) return 1;
  Run("sample item", work, globals, keys);

  if (!kt::data::demo::WriteDemoDataSet(work / "DEMO").ok()) return 1;
  kt::data::ConfigValues config = globals.Config();
  config.location = (work / "DEMO").string() + kt::data::kPathSeparator;
  globals.SetConfig(config);
  if (!kt::data::DBMAINOPEN(globals, kt::NullEventSink())) return 1;
  Run("demo data open", work, globals, keys);

  std::error_code ignored;
  std::filesystem::remove_all(work, ignored);
  return 0;
}
